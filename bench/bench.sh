#!/usr/bin/env bash
# Benchmark (not a test): ploxwen against lp on one private CUPS server.
#   1. wall time: `ploxwen "Virtual¦HELLO"` vs `lp -d Virtual -o raw` (HELLO on
#      stdin), median of RUNS runs each, and the ratio;
#   2. peak RSS of each (/usr/bin/time -v, largest of 10 runs);
#   3. ploxwen's median wall time with 500 queues present vs 1.
# Targets: wall <= 0.9x lp, peak RSS <= lp's, 500 queues <= 1.2x the time of 1.
#
#   bench/bench.sh               (as root; RUNS=100 by default, at least 50)
#
# Set PLOXWEN_NO_BUILD=1 to use an existing build/default/bin/ploxwen.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd -P)
harness="$root/scripts/private-cupsd.sh"
runs=${RUNS:-100}
((runs >= 50)) || runs=50

for tool in hyperfine /usr/bin/time lp lpadmin; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
if [[ -z "${PLOXWEN_NO_BUILD:-}" ]]; then
  (cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default -j2 --target ploxwen >/dev/null)
fi
ploxwen="$root/build/default/bin/ploxwen"

dir=$(mktemp -d /tmp/ploxwen-bench.XXXXXX)
trap '"$harness" stop "$dir"; rm -rf "$dir"' EXIT
eval "$("$harness" start "$dir")"
"$harness" add-queue "$dir" Virtual
printf 'HELLO' >"$dir/hello"

ploxwen_cmd="'$ploxwen' 'Virtual¦HELLO'"
lp_cmd="lp -d Virtual -o raw <'$dir/hello' >/dev/null"

# Median wall time in ms of one command, from hyperfine's CSV export.
median_ms() {
  local csv="$dir/hf.csv"
  hyperfine --style none --warmup 5 --runs "$runs" --export-csv "$csv" "$1" >/dev/null 2>&1
  awk -F, 'NR == 2 { printf "%.2f", $4 * 1000 }' "$csv"
}

# Largest peak RSS in KiB over 10 runs of "$@", stdin from $stdin_file.
peak_rss_kb() {
  local max=0 rss i
  for ((i = 0; i < 10; i++)); do
    rss=$(/usr/bin/time -v "$@" <"$stdin_file" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { print $2 }')
    ((rss > max)) && max=$rss
  done
  echo "$max"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "cupsd: private, unix socket $CUPS_SERVER; $runs runs per command"
"$ploxwen" "Virtual¦HELLO"  # fails loudly here rather than in the timings

# IPP requests one run makes, from the server's access log.
requests_of() {
  local before
  before=$(wc -l <"$dir/log/access_log")
  bash -c "$1" >/dev/null
  tail -n +"$((before + 1))" "$dir/log/access_log" | awk '{ print $(NF - 1) }' | paste -sd' '
}
echo "requests:       ploxwen: $(requests_of "$ploxwen_cmd")"
echo "                lp:      $(requests_of "$lp_cmd")"

p1=$(median_ms "$ploxwen_cmd")
lp1=$(median_ms "$lp_cmd")
echo "wall, median:   ploxwen $p1 ms   lp $lp1 ms   ratio $(ratio "$p1" "$lp1") (target <= 0.90)"

stdin_file=/dev/null prss=$(peak_rss_kb "$ploxwen" "Virtual¦HELLO")
stdin_file="$dir/hello" lprss=$(peak_rss_kb lp -d Virtual -o raw)
echo "peak RSS:       ploxwen $prss KiB   lp $lprss KiB   ratio $(ratio "$prss" "$lprss") (target <= 1.00)"

# Both sides of this comparison run on a server with the same job history.
p1=$(median_ms "$ploxwen_cmd")
for ((i = 1; i < 500; i++)); do
  lpadmin -p "Bench$i" -v testout:/
done
count=$(lpstat -e | wc -l)
p500=$(median_ms "$ploxwen_cmd")
echo "queues:         1: $p1 ms   $count: $p500 ms   ratio $(ratio "$p500" "$p1") (target <= 1.20)"
