#!/usr/bin/env bash
# Installs, from Debian 12's packages, everything the build and the tests use.
# Run as root. Safe to run again: apt-get skips what is already there.
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive
apt_get() { apt-get -y -q -o Dpkg::Use-Pty=0 --no-install-recommends "$@"; }

# 32-bit Wine (and the 32-bit libcups it reaches CUPS through) needs i386.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -q

# Native build and tests.
apt_get install g++ cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev \
  libcups2-dev cups-daemon cups-client xxd locales

# The window module and the desktop tests.
apt_get install libfltk1.3-dev xvfb xdotool x11-utils imagemagick

# Windows build, run under Wine against the same CUPS.
apt_get install g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 libcups2:i386 fonts-wine

# Benchmarks, fuzzing, memory checks.
apt_get install hyperfine time clang libclang-rt-14-dev valgrind

# Style: formatting and static analysis of the sources and scripts (scripts/check-style.sh).
apt_get install clang-format clang-tidy shellcheck

# Packages and the man page: CPack's .deb (dpkg-shlibdeps, file), the clean
# Debian root of the package test, lintian on the packages, man page checks.
apt_get install dpkg-dev file debootstrap lintian mandoc man-db groff-base
