#!/usr/bin/env bash
# Fails on any clang-format difference in the tracked C++ files (.clang-format),
# on any shellcheck finding in the tracked shell scripts (.shellcheckrc) and on
# any clang-tidy finding in the program's sources (.clang-tidy), which it reads
# through the compile database of a configured build. CTest runs it as the test
# `style` of the default preset. usage: check-style.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")
database=$build/compile_commands.json
[[ -f $database ]] || { echo "check-style: no $database; configure with the default preset" >&2; exit 2; }

status=0
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror || status=1

# Every tracked shell script: *.sh, and any file whose first line runs bash or
# sh (.ci/run). -x follows what they source; every finding counts.
mapfile -t scripts < <({
  git ls-files '*.sh'
  git ls-files -z | xargs -0 awk 'FNR == 1 && /^#!(.*\/|.*env +)(ba)?sh( |$)/ { print FILENAME } { nextfile }'
} | sort -u)
((${#scripts[@]} > 0)) || { echo "check-style: no shell scripts found" >&2; exit 2; }
shellcheck -x "${scripts[@]}" || status=1

# The program's sources of that build: every file in it but the tests' and fuzzers'.
mapfile -t sources < <(sed -n 's/^ *"file": "\(.*\)",\?$/\1/p' "$database" |
  grep -v -e "^$PWD/tests/" -e "^$PWD/fuzz/" | sort -u)
((${#sources[@]} > 0)) || { echo "check-style: no sources in $database" >&2; exit 2; }
# Findings on stdout; the count of warnings in other libraries' headers (not
# shown) on stderr is left out.
printf '%s\0' "${sources[@]}" | xargs -0 -n 1 -P "$(nproc)" clang-tidy --quiet -p "$build" \
  2> >(grep -v '^[0-9]* warnings\? generated\.$' >&2) || status=1

((status == 0)) &&
  echo "check-style: clang-format, shellcheck (${#scripts[@]} scripts) and clang-tidy (${#sources[@]} files) found nothing"
exit "$status"
