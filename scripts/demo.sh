#!/usr/bin/env bash
# Builds PloxWen, starts a private CUPS server with a raw queue "Virtual" whose
# device stores what it receives, prints `ploxwen "Virtual¦TEXT"` on it, and
# shows the exit status and a hex dump of the bytes the printer got.
# The server is stopped again on the way out; the system's CUPS is untouched.
#
#   scripts/demo.sh [TEXT]          (as root; TEXT defaults to HELLO)
#
# Installs what it needs first (scripts/install-deps.sh) unless
# PLOXWEN_SKIP_INSTALL=1; set PLOXWEN_NO_BUILD=1 to use an existing
# build/default/bin/ploxwen.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd -P)
text=${1-HELLO}
harness="$root/scripts/private-cupsd.sh"

if [[ "${PLOXWEN_SKIP_INSTALL:-0}" != 1 ]]; then
  "$root/scripts/install-deps.sh" >/dev/null
fi
if [[ -z "${PLOXWEN_NO_BUILD:-}" ]]; then
  (cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default -j2 --target ploxwen >/dev/null)
fi
ploxwen="$root/build/default/bin/ploxwen"

dir=$(mktemp -d /tmp/ploxwen-demo.XXXXXX)
trap '"$harness" stop "$dir"; rm -rf "$dir"' EXIT
eval "$("$harness" start "$dir")"
"$harness" add-queue "$dir" Virtual
lpadmin -d Virtual  # the private server's default, not the system's

echo "\$ ploxwen \"Virtual¦$text\""
status=0
"$ploxwen" "Virtual¦$text" || status=$?
echo "exit status: $status"

# The job is done when the backend has renamed its output into place.
out="$dir/out/Virtual"
for ((i = 0; i < 200; i++)); do
  [[ -n "$(lpstat -o Virtual 2>/dev/null)" ]] || break
  sleep 0.05
done
received=0
for f in "$out"/*; do
  [[ ${f##*/} =~ ^[0-9]+$ ]] || continue  # skip .meta and unfinished .part files
  received=1
  echo "printer received job ${f##*/} ($(stat -c %s "$f") bytes, title \"$(sed -n 's/^title=//p' "$f.meta")\"):"
  xxd "$f"
done
((received)) || echo "the printer received nothing"
exit "$status"
