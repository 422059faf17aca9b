#!/usr/bin/env bash
# The .deb packages on a clean Debian 12: builds them with the `package`
# preset, installs them with dpkg into a fresh minimal bookworm root (apt
# brings the dependencies), and prints from inside that root to a private
# cupsd running outside it, whose socket is bind-mounted in.
#
# usage: deb_install_test.sh SOURCE_DIR WORK_DIR
#   WORK_DIR keeps the package build and, in cache/, the debootstrapped root
#   (as a tarball) and apt's downloads, so later runs skip the download; each
#   run unpacks a new root from the tarball.
# Needs root, debootstrap, and Debian's mirror as this machine's apt uses it
# (PLOXWEN_DEBIAN_MIRROR overrides it).
set -uo pipefail

SOURCE_DIR=$(cd "$1" && pwd)
mkdir -p "$2"
WORK_DIR=$(cd "$2" && pwd)
CACHE=$WORK_DIR/cache
ROOT=$WORK_DIR/root
BAR=$'\xc2\xa6'  # U+00A6, the field separator
SOCKET_DIR=/run/ploxwen-cups  # where the private server's directory appears in the root

CUPS_DIR="" STAGING="" MOUNTS=()
STARTED=$SECONDS

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

phase() {
    echo "--- [$((SECONDS - STARTED)) s] $*"
}

# --- Mounts ---------------------------------------------------------------------

mount_in() {  # mount arguments...; the last one is the mount point
    mount "$@" || fail "mount $*"
    MOUNTS+=("${*: -1}")
}

# Everything still mounted at or below a directory, deepest first.
mounts_below() {
    findmnt -rn -o TARGET | awk -v d="$1" '$0 == d || index($0, d "/") == 1' | sort -r
}

unmount_all_below() {
    local dir=$1 target
    for target in $(mounts_below "$dir"); do
        umount "$target" 2>/dev/null || umount -l "$target" 2>/dev/null
    done
    [ -z "$(mounts_below "$dir")" ]
}

# Removes a root directory, but never while anything is mounted inside it:
# with /dev bound in, rm -rf would empty the machine's /dev.
remove_root() {
    local dir=$1
    [ -e "$dir" ] || return 0
    unmount_all_below "$dir" || {
        echo "still mounted below $dir, not removing it" >&2
        return 1
    }
    rm -rf --one-file-system "$dir"
}

cleanup() {
    local i
    for ((i = ${#MOUNTS[@]} - 1; i >= 0; i--)); do
        umount "${MOUNTS[i]}" 2>/dev/null || umount -l "${MOUNTS[i]}" 2>/dev/null
    done
    remove_root "$ROOT"
    [ -n "$STAGING" ] && remove_root "$STAGING"
    if [ -n "$CUPS_DIR" ]; then
        "$SOURCE_DIR/tests/cups/private-cupsd.sh" stop "$CUPS_DIR"
        rm -rf "$CUPS_DIR"
    fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# --- Debian's mirror, as this machine's apt has it ----------------------------

# The URI of the first source that carries the suite bookworm itself, from
# deb822 .sources files, then from one-line .list entries.
debian_mirror() {
    if [ -n "${PLOXWEN_DEBIAN_MIRROR:-}" ]; then
        echo "$PLOXWEN_DEBIAN_MIRROR"
        return
    fi
    {
        local file
        for file in /etc/apt/sources.list.d/*.sources; do
            [ -f "$file" ] || continue
            awk 'BEGIN { RS = ""; FS = "\n" }
                {
                    types = ""; uris = ""; suites = ""
                    for (i = 1; i <= NF; i++) {
                        line = $i
                        if (sub(/^Types:[ \t]*/, "", line)) types = " " line " "
                        else if (sub(/^URIs:[ \t]*/, "", line)) uris = line
                        else if (sub(/^Suites:[ \t]*/, "", line)) suites = " " line " "
                    }
                    if (types ~ /[ \t]deb[ \t]/ && suites ~ /[ \t]bookworm[ \t]/) {
                        split(uris, uri, /[ \t]+/)
                        print uri[1]
                    }
                }' "$file"
        done
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            awk '$1 == "deb" {
                    i = 2
                    if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                    if ($(i + 1) == "bookworm") print $i
                }'
    } | head -n1
}

# --- The packages ----------------------------------------------------------------

build_packages() {
    phase "building the packages (preset package)"
    local build=$WORK_DIR/build
    cmake -S "$SOURCE_DIR" --preset package -B "$build" >"$WORK_DIR/configure.log" 2>&1 ||
        fail "configure failed: $(tail -n 20 "$WORK_DIR/configure.log")"
    rm -f "$build"/*.deb
    cmake --build "$build" --target package -j "${CMAKE_BUILD_PARALLEL_LEVEL:-2}" >"$WORK_DIR/build.log" 2>&1 ||
        fail "package build failed: $(tail -n 30 "$WORK_DIR/build.log")"
    DEB_MAIN=$(ls "$build"/ploxwen_*.deb 2>/dev/null)
    DEB_WINDOW=$(ls "$build"/ploxwen-window_*.deb 2>/dev/null)
    [ -f "$DEB_MAIN" ] || fail "no ploxwen_*.deb in $build"
    [ -f "$DEB_WINDOW" ] || fail "no ploxwen-window_*.deb in $build"
    local deb
    for deb in "$DEB_MAIN" "$DEB_WINDOW"; do
        echo "$(basename "$deb"):"
        dpkg-deb -f "$deb" Package Version Section Maintainer Depends Recommends | sed 's/^/  /'
    done
}

# --- A clean Debian 12 ------------------------------------------------------------

# debootstrap once into cache/; later runs unpack the tarball. Sets TARBALL.
cached_root_tarball() {
    TARBALL=$CACHE/bookworm-minbase.tar
    if [ -f "$TARBALL" ]; then
        phase "clean root from the cache ($TARBALL)"
        return
    fi
    command -v debootstrap >/dev/null || fail "debootstrap is missing (scripts/install-deps.sh installs it)"
    local mirror
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || fail "no Debian bookworm source in /etc/apt/sources.list(.d)"
    phase "debootstrap --variant=minbase bookworm from $mirror (cold cache)"
    mkdir -p "$CACHE"
    STAGING=$CACHE/staging
    remove_root "$STAGING" || fail "cannot clear $STAGING"
    local began=$SECONDS
    debootstrap --variant=minbase bookworm "$STAGING" "$mirror" >"$CACHE/debootstrap.log" 2>&1 ||
        fail "debootstrap failed: $(tail -n 20 "$CACHE/debootstrap.log")"
    echo "debootstrap took $((SECONDS - began)) s"
    unmount_all_below "$STAGING" || fail "debootstrap left mounts below $STAGING"
    tar -C "$STAGING" --numeric-owner -cf "$TARBALL.part" . || fail "cannot pack the root"
    mv "$TARBALL.part" "$TARBALL"
    remove_root "$STAGING"
    STAGING=""
}

prepare_root() {
    cached_root_tarball
    remove_root "$ROOT" || fail "cannot clear $ROOT"
    mkdir -p "$ROOT"
    tar -C "$ROOT" --numeric-owner -xf "$TARBALL" || fail "cannot unpack $TARBALL"

    # No service starts inside; names resolve as outside.
    printf '#!/bin/sh\nexit 101\n' >"$ROOT/usr/sbin/policy-rc.d"
    chmod 0755 "$ROOT/usr/sbin/policy-rc.d"
    rm -f "$ROOT/etc/resolv.conf"
    cp -L /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true

    mount_in -t proc proc "$ROOT/proc"
    mount_in --bind /dev "$ROOT/dev"
    mkdir -p "$CACHE/apt-archives/partial" "$ROOT$SOCKET_DIR"
    mount_in --bind "$CACHE/apt-archives" "$ROOT/var/cache/apt/archives"
    mount_in --bind "$CUPS_DIR" "$ROOT$SOCKET_DIR"
}

# Runs a command inside the root with a clean environment; more NAME=value
# pairs may come before the command.
in_root() {
    chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        DEBIAN_FRONTEND=noninteractive "$@" </dev/null
}

apt_in_root() {
    in_root apt-get -y -q -o Dpkg::Use-Pty=0 "$@" >>"$WORK_DIR/apt.log" 2>&1 ||
        fail "apt-get $* failed in the root: $(tail -n 30 "$WORK_DIR/apt.log")"
}

installed_in_root() {  # package
    [ "$(in_root dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" == installed ]
}

# dpkg -i, then apt-get install -f for what the package depends on.
install_deb() {  # deb [apt-get options]
    local deb=$1
    shift
    cp "$deb" "$ROOT/tmp/" || fail "cannot copy $deb into the root"
    in_root dpkg -i "/tmp/$(basename "$deb")" >>"$WORK_DIR/apt.log" 2>&1  # fails on missing dependencies
    apt_in_root install -f "$@"
    local name
    name=$(dpkg-deb -f "$deb" Package)
    installed_in_root "$name" || fail "$name is not installed: $(tail -n 30 "$WORK_DIR/apt.log")"
}

# --- The private server and the jobs it stores ------------------------------------

start_cupsd() {
    CUPS_DIR=$(mktemp -d /tmp/ploxwen-pkg.XXXXXX)
    "$SOURCE_DIR/tests/cups/private-cupsd.sh" start "$CUPS_DIR" >/dev/null || fail "private cupsd did not start"
    "$SOURCE_DIR/tests/cups/private-cupsd.sh" add-queue "$CUPS_DIR" Virtual || fail "cannot add the queue"
}

# Every job the server knows of, on any queue, in any state.
server_jobs() {
    "$SOURCE_DIR/tests/cups/private-cupsd.sh" run "$CUPS_DIR" lpstat -W all -o
}

# Finished jobs of the queue, oldest first.
jobs_of() {
    ls "$CUPS_DIR/out/$1" 2>/dev/null | grep -E '^[0-9]+$' | sort -n
}

# Waits until the queue has stored `count` jobs; their list is in JOBS.
wait_for_jobs() {  # queue count
    local _
    for _ in $(seq 300); do
        JOBS=$(jobs_of "$1")
        [ "$(grep -c . <<<"$JOBS")" -ge "$2" ] && break
        sleep 0.1
    done
    [ "$(grep -c . <<<"$JOBS")" -eq "$2" ] ||
        fail "queue $1 has $(grep -c . <<<"$JOBS") finished jobs, want $2: $(tail -n 20 "$CUPS_DIR/log/error_log")"
}

# Runs the installed ploxwen in the root against the private server, with
# the argument given; leaves STATUS, and the output in OUT and ERR.
run_ploxwen() {  # [NAME=value...] argument
    in_root CUPS_SERVER=$SOCKET_DIR/cups.sock "$@" >"$WORK_DIR/stdout" 2>"$WORK_DIR/stderr"
    STATUS=$?
    OUT=$(cat "$WORK_DIR/stdout")
    ERR=$(cat "$WORK_DIR/stderr")
}

# --- The test ------------------------------------------------------------------

[ "$(id -u)" -eq 0 ] || fail "must run as root (chroot, mounts, cupsd)"
: >"$WORK_DIR/apt.log"

build_packages
start_cupsd
prepare_root
grep -q '^VERSION_ID="12"' "$ROOT/etc/os-release" || fail "the root is not Debian 12: $(cat "$ROOT/etc/os-release")"

phase "installing ploxwen alone (no recommends), as on a headless till"
install_deb "$DEB_MAIN" --no-install-recommends
installed_in_root libcups2 || fail "libcups2 was not pulled in"
for package in libfltk1.3 libx11-6 ploxwen-window; do
    installed_in_root "$package" && fail "ploxwen alone pulled in $package"
done
in_root ldd /usr/bin/ploxwen | grep 'not found' && fail "ploxwen has unresolved libraries"
in_root test -x /usr/bin/ploxwen || fail "/usr/bin/ploxwen missing"

phase "printing from the root"
run_ploxwen /usr/bin/ploxwen "Virtual${BAR}HELLO"
[ "$STATUS" -eq 0 ] || fail "Virtual${BAR}HELLO: status $STATUS, want 0 (stderr: $ERR)"
[ -z "$OUT$ERR" ] || fail "a successful print said something: [$OUT] [$ERR]"
wait_for_jobs Virtual 1
first=$(head -n1 <<<"$JOBS")
cmp <(printf 'HELLO') "$CUPS_DIR/out/Virtual/$first" ||
    fail "queue got $(xxd "$CUPS_DIR/out/Virtual/$first"), want HELLO"
grep -qx 'title=Command Print' "$CUPS_DIR/out/Virtual/$first.meta" ||
    fail "document name: $(cat "$CUPS_DIR/out/Virtual/$first.meta")"

# ESC/POS init, text, feed and cut, a cash-drawer kick with a byte that is not
# UTF-8 (0xFA), in a UTF-8 locale: every byte arrives as given.
payload=$'\x1b@Gr\xc3\xbc\xc3\x9fe\n\n\x1dV0\x1bp0\x19\xfa'
run_ploxwen LANG=C.UTF-8 /usr/bin/ploxwen "Virtual${BAR}${payload}"
[ "$STATUS" -eq 0 ] || fail "ESC/POS payload: status $STATUS, want 0 (stderr: $ERR)"
wait_for_jobs Virtual 2
second=$(tail -n1 <<<"$JOBS")
cmp <(printf '%s' "$payload") "$CUPS_DIR/out/Virtual/$second" ||
    fail "queue got $(xxd "$CUPS_DIR/out/Virtual/$second"), want $(printf '%s' "$payload" | xxd)"

# No queue of that exact name: status 1, nothing sent. No server: status 2.
run_ploxwen /usr/bin/ploxwen "virtual${BAR}not for Virtual"
[ "$STATUS" -eq 1 ] || fail "lower-case name: status $STATUS, want 1"
run_ploxwen CUPS_SERVER=/nonexistent/cups.sock /usr/bin/ploxwen "Virtual${BAR}nowhere"
[ "$STATUS" -eq 2 ] || fail "no server: status $STATUS, want 2"
grep -qx "The Printer Name you typed wasn't recognized." <<<"$ERR" || fail "no server: stderr [$ERR]"
[ "$(server_jobs | grep -c .)" -eq 2 ] || fail "the server has jobs other than the two printed: $(server_jobs)"

phase "the man page"
in_root test -f /usr/share/man/man1/ploxwen.1.gz || fail "/usr/share/man/man1/ploxwen.1.gz is not installed"
in_root dpkg -L ploxwen | grep -qx /usr/share/man/man1/ploxwen.1.gz || fail "the man page is not ploxwen's"
apt_in_root install --no-install-recommends man-db
manual=$(in_root MANWIDTH=80 LANG=C.UTF-8 man ploxwen 2>&1) || fail "man ploxwen failed: $manual"
for heading in NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' ENVIRONMENT EXAMPLES NOTES 'SEE ALSO'; do
    grep -qx "$heading" <<<"$manual" || fail "man ploxwen has no $heading section"
done
grep -q "ploxwen printer${BAR}data" <<<"$manual" || fail "man ploxwen: synopsis not rendered with ${BAR}"

phase "installing ploxwen-window"
install_deb "$DEB_WINDOW" --no-install-recommends
installed_in_root libfltk1.3 || fail "ploxwen-window did not pull in libfltk1.3"
in_root ldd /usr/lib/ploxwen/ploxwen-window.so | grep 'not found' && fail "the window module has unresolved libraries"
# With a display named, the failure path loads the module (and FLTK) from
# /usr/lib/ploxwen; the display itself cannot be opened, so stderr only.
run_ploxwen DISPLAY=unix:99 LD_DEBUG=files CUPS_SERVER=/nonexistent/cups.sock /usr/bin/ploxwen "Virtual${BAR}x"
[ "$STATUS" -eq 2 ] || fail "failure path with the module: status $STATUS, want 2"
grep -q 'calling init: .*/lib/ploxwen/ploxwen-window\.so' <<<"$ERR" || fail "the module was not loaded: $ERR"
grep -q 'calling init: .*libfltk\.so' <<<"$ERR" || fail "FLTK was not loaded with the module"
grep -qx "The Printer Name you typed wasn't recognized." <<<"$ERR" || fail "failure path: no message on stderr"
run_ploxwen /usr/bin/ploxwen "Virtual${BAR}again"
[ "$STATUS" -eq 0 ] || fail "print with the module installed: status $STATUS"
wait_for_jobs Virtual 3

phase "removing both"
apt_in_root purge ploxwen ploxwen-window
in_root test -e /usr/bin/ploxwen && fail "/usr/bin/ploxwen left behind"
in_root test -e /usr/lib/ploxwen && fail "/usr/lib/ploxwen left behind"

phase "PASS"
