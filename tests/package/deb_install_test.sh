#!/usr/bin/env bash
# The .deb packages (`package` preset) installed by apt into a fresh minimal Debian 12 root, printing
# from inside it to a private cupsd outside. usage: deb_install_test.sh WORK_DIR (WORK_DIR/cache: root, debs)
source "$(dirname "$0")/../lib.sh"
mkdir -p "$1/cache/apt/partial"
DIR=$(cd "$1" && pwd)
ROOT=$DIR/root SOCKET_DIR=/run/ploxwen-cups
# Nothing may stay mounted below the root when it is removed: rm -rf would empty /dev.
remove_root() {
  findmnt -rn -o TARGET | grep -E "^$ROOT(/|$)" | sort -r | xargs -r umount -l
  ! findmnt -rn -o TARGET | grep -qE "^$ROOT(/|$)" && rm -rf --one-file-system "$ROOT"
}
in_root() { chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root DEBIAN_FRONTEND=noninteractive "$@" </dev/null; }
# shellcheck disable=SC2016 # ${db:Status-Status} is dpkg-query's field, not the shell's
installed() { [[ $(in_root dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) == installed ]]; }
install_deb() { # DEB, with what it depends on (no recommends)
  cp "$1" "$ROOT/tmp/"
  in_root apt-get -y -q -o Dpkg::Use-Pty=0 install --no-install-recommends "/tmp/${1##*/}" >>"$DIR/apt.log" 2>&1 ||
    fail "apt-get: $(tail -n 30 "$DIR/apt.log")"
}
run() { # [NAME=value...] COMMAND...: in the root, against the private cupsd; sets STATUS
  STATUS=0
  in_root CUPS_SERVER=$SOCKET_DIR/cups.sock "$@" >"$WORK/out" 2>"$WORK/err" || STATUS=$?
}
rm -f "$DIR"/build/*.deb
{ cmake -S "$SOURCE_DIR" --preset package -B "$DIR/build" && cmake --build "$DIR/build" --target package -j2; } \
  >"$DIR/build.log" 2>&1 || fail "package build: $(tail -n 20 "$DIR/build.log")"
# Debian's own checks: no error or warning (the packages carry their few overrides, with reasons).
for deb in "$DIR"/build/*.deb; do
  lint=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian ${deb##*/}: $lint"
done
tarball=$DIR/cache/bookworm-minbase.tar
if [[ ! -f $tarball ]]; then
  rm -rf --one-file-system "$DIR/staging"
  debootstrap --variant=minbase bookworm "$DIR/staging" "${PLOXWEN_DEBIAN_MIRROR:-http://deb.debian.org/debian}" \
    >"$DIR/debootstrap.log" 2>&1 || fail "debootstrap: $(tail -n 20 "$DIR/debootstrap.log")"
  tar -C "$DIR/staging" --numeric-owner -cf "$tarball" . && rm -rf --one-file-system "$DIR/staging"
fi
start_cupsd Virtual
remove_root || fail "cannot clear $ROOT"
on_exit remove_root
mkdir -p "$ROOT" && tar -C "$ROOT" --numeric-owner -xf "$tarball"
rm -f "$ROOT/etc/resolv.conf" && cp -L /etc/resolv.conf "$ROOT/etc/"
mkdir -p "$ROOT$SOCKET_DIR" && mount --bind "$CUPS_DIR" "$ROOT$SOCKET_DIR"
mount -t proc proc "$ROOT/proc"
mount --bind /dev "$ROOT/dev"
mount --bind "$DIR/cache/apt" "$ROOT/var/cache/apt/archives"
# ploxwen alone, as on a headless till: no GUI library comes with it; ESC/POS, UTF-8 text and
# a cash-drawer kick with a byte that is not UTF-8 arrive as one silent job, byte for byte.
install_deb "$(ls "$DIR"/build/ploxwen_*.deb)"
for package in libfltk1.3 libx11-6 ploxwen-window; do ! installed $package || fail "ploxwen pulled in $package"; done
payload=$'\x1b@Gr\xc3\xbc\xc3\x9fe\n\n\x1dV0\x1bp0\x19\xfa'
run LANG=C.UTF-8 /usr/bin/ploxwen "Virtual${BAR}${payload}"
expect_eq "status|stdout|stderr of a print" "0||" "$STATUS|$(cat "$WORK/out")|$(cat "$WORK/err")"
# shellcheck disable=SC2016 # eval expands it at each try
wait_until 30 eval '[[ -n $(jobs_received) ]]' || fail "no job arrived"
cmp <(printf '%s' "$payload") "$CUPS_DIR/out/$(jobs_received)" || fail "the bytes differ"
install_deb "$(ls "$DIR"/build/ploxwen-window_*.deb)" # its dependencies resolve: the module loads
run DISPLAY=unix:99 LD_DEBUG=files CUPS_SERVER=/nonexistent/cups.sock /usr/bin/ploxwen "Virtual${BAR}x"
expect_eq "status on the failure path with the module" 2 "$STATUS"
grep -q 'calling init: .*/lib/ploxwen/ploxwen-window\.so' "$WORK/err" || fail "the module was not loaded"
echo PASS
