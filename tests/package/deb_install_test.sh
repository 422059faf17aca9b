#!/usr/bin/env bash
# The .deb packages on a clean Debian 12: built with the `package` preset,
# installed with dpkg into a fresh minimal bookworm root (apt brings what they
# depend on), printing from inside it to a private cupsd outside, whose
# directory is bind-mounted in.
# usage: deb_install_test.sh WORK_DIR
#   WORK_DIR/cache keeps the debootstrapped root (a tarball) and apt's
#   downloads for later runs. The mirror is this machine's apt source
#   (PLOXWEN_DEBIAN_MIRROR overrides it).
source "$(dirname "$0")/../lib.sh"
[[ $(id -u) == 0 ]] || fail "must run as root (chroot, mounts, cupsd)"
mkdir -p "$1/cache/apt/partial"
DIR=$(cd "$1" && pwd)
ROOT=$DIR/root SOCKET_DIR=/run/ploxwen-cups

# Nothing may stay mounted below the root when it is removed: with /dev
# bound in, rm -rf would empty the machine's /dev.
remove_root() {
  local target
  for target in $(findmnt -rn -o TARGET | grep -E "^$ROOT(/|$)" | sort -r); do umount -l "$target"; done
  ! findmnt -rn -o TARGET | grep -qE "^$ROOT(/|$)" && rm -rf --one-file-system "$ROOT"
}
in_root() { chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root DEBIAN_FRONTEND=noninteractive "$@" </dev/null; }
apt_in_root() { in_root apt-get -y -q -o Dpkg::Use-Pty=0 "$@" >>"$DIR/apt.log" 2>&1 || fail "apt-get $*: $(tail -n 30 "$DIR/apt.log")"; }
installed() { [[ $(in_root dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) == installed ]]; }
install_deb() { # DEB: dpkg -i, then apt-get install -f for what it depends on
  cp "$1" "$ROOT/tmp/"
  in_root dpkg -i "/tmp/${1##*/}" >>"$DIR/apt.log" 2>&1 || true
  apt_in_root install -f --no-install-recommends
  installed "$(dpkg-deb -f "$1" Package)" || fail "${1##*/} is not installed"
}
run() { # [NAME=value...] COMMAND...: in the root, against the private cupsd; sets STATUS
  STATUS=0
  in_root CUPS_SERVER=$SOCKET_DIR/cups.sock "$@" >"$WORK/out" 2>"$WORK/err" || STATUS=$?
}

echo "--- building the packages"
rm -f "$DIR"/build/*.deb
{ cmake -S "$SOURCE_DIR" --preset package -B "$DIR/build" && cmake --build "$DIR/build" --target package -j2; } \
  >"$DIR/build.log" 2>&1 || fail "package build: $(tail -n 20 "$DIR/build.log")"
DEB_MAIN=$(ls "$DIR"/build/ploxwen_*.deb) DEB_WINDOW=$(ls "$DIR"/build/ploxwen-window_*.deb)

tarball=$DIR/cache/bookworm-minbase.tar
if [[ ! -f $tarball ]]; then
  mirror=${PLOXWEN_DEBIAN_MIRROR:-$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.{list,sources} 2>/dev/null |
    grep -oE '^(URIs:|deb) +https?://[^ ]+' | grep -v security | head -n1 | awk '{print $2}' || true)}
  echo "--- debootstrap --variant=minbase bookworm from ${mirror:=http://deb.debian.org/debian}"
  rm -rf --one-file-system "$DIR/staging"
  debootstrap --variant=minbase bookworm "$DIR/staging" "$mirror" >"$DIR/debootstrap.log" 2>&1 ||
    fail "debootstrap: $(tail -n 20 "$DIR/debootstrap.log")"
  tar -C "$DIR/staging" --numeric-owner -cf "$tarball" . && rm -rf --one-file-system "$DIR/staging"
fi
start_cupsd Virtual
remove_root || fail "cannot clear $ROOT"
on_exit remove_root
mkdir -p "$ROOT" && tar -C "$ROOT" --numeric-owner -xf "$tarball"
grep -q '^VERSION_ID="12"' "$ROOT/etc/os-release" || fail "the root is not Debian 12"
printf '#!/bin/sh\nexit 101\n' >"$ROOT/usr/sbin/policy-rc.d" && chmod 0755 "$ROOT/usr/sbin/policy-rc.d" # no services
rm -f "$ROOT/etc/resolv.conf" && cp -L /etc/resolv.conf "$ROOT/etc/"
mkdir -p "$ROOT$SOCKET_DIR"
mount -t proc proc "$ROOT/proc"
mount --bind /dev "$ROOT/dev"
mount --bind "$DIR/cache/apt" "$ROOT/var/cache/apt/archives"
mount --bind "$CUPS_DIR" "$ROOT$SOCKET_DIR"

echo "--- ploxwen alone, without recommends, as on a headless till"
install_deb "$DEB_MAIN"
installed libcups2 || fail "libcups2 was not pulled in"
for package in libfltk1.3 libx11-6 ploxwen-window; do ! installed $package || fail "ploxwen pulled in $package"; done
in_root test -f /usr/share/man/man1/ploxwen.1.gz || fail "no man page installed"
# ESC/POS, UTF-8 text, a cash-drawer kick with a byte that is not UTF-8: every byte arrives.
payload=$'\x1b@Gr\xc3\xbc\xc3\x9fe\n\n\x1dV0\x1bp0\x19\xfa'
run LANG=C.UTF-8 /usr/bin/ploxwen "Virtual${BAR}${payload}"
expect_eq "status of a print" 0 "$STATUS"
[[ ! -s $WORK/out && ! -s $WORK/err ]] || fail "a print said something: $(cat "$WORK/out" "$WORK/err")"
wait_until 30 eval '[[ -n $(jobs_received) ]]' || fail "no job arrived"
cmp <(printf '%s' "$payload") "$CUPS_DIR/out/$(jobs_received)" || fail "the bytes differ"
grep -qx 'title=Command Print' "$CUPS_DIR/out/$(jobs_received).meta" || fail "document name"
run /usr/bin/ploxwen "virtual${BAR}x"
expect_eq "status of a name in another case" 1 "$STATUS"
run CUPS_SERVER=/nonexistent/cups.sock /usr/bin/ploxwen "Virtual${BAR}x"
expect_eq "status without a server" 2 "$STATUS"
expect_eq "message and cause without a server" "$NO_SERVER" "$(cat "$WORK/err")"

echo "--- ploxwen-window"
install_deb "$DEB_WINDOW"
installed libfltk1.3 || fail "ploxwen-window did not pull in libfltk1.3"
! grep -q PLOXWEN_TEST_DUMP_DIR "$ROOT/usr/lib/ploxwen/ploxwen-window.so" || fail "the packaged module has the test dump"
# With a display named, the failure path loads the module and FLTK; the
# display cannot be opened, so the message goes to stderr only.
run DISPLAY=unix:99 LD_DEBUG=files CUPS_SERVER=/nonexistent/cups.sock /usr/bin/ploxwen "Virtual${BAR}x"
expect_eq "status on the failure path with the module" 2 "$STATUS"
grep -q 'calling init: .*/lib/ploxwen/ploxwen-window\.so' "$WORK/err" || fail "the module was not loaded"
grep -q 'calling init: .*libfltk\.so' "$WORK/err" || fail "FLTK was not loaded with the module"

echo "--- purging both"
apt_in_root purge ploxwen ploxwen-window
! in_root test -e /usr/bin/ploxwen -o -e /usr/lib/ploxwen || fail "files left behind"
echo PASS
