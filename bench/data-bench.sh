#!/usr/bin/env bash
# Benchmark (not a test): large payloads through PLOXWEN_DATA=file and
# PLOXWEN_DATA=stdin against lp on the same private queue.
#   file:        PLOXWEN_DATA=file ploxwen "Virtual¦FILE"   vs  lp -d Virtual -o raw FILE
#   stdin:       PLOXWEN_DATA=stdin ploxwen Virtual < FILE   vs  lp -d Virtual -o raw < FILE
#   pipe:        cat FILE | PLOXWEN_DATA=stdin ploxwen Virtual  vs  cat FILE | lp -d Virtual -o raw
# for 1, 16 and 256 MiB (SIZES_MIB), the four or six commands of a size run
# interleaved, their order alternating from round to round. Each run's wall
# time and peak RSS come from /usr/bin/time (for a pipe: of the program
# reading it); every job's output is compared with FILE and then removed.
# Targets: wall <= 1.00x lp; ploxwen's peak RSS <= the payload + 16 MiB.
#
#   bench/data-bench.sh      (as root; RUNS=5 rounds by default)
#
# Set PLOXWEN_NO_BUILD=1 to use an existing build/default/bin/ploxwen.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd -P)
harness="$root/scripts/private-cupsd.sh"
rounds=${RUNS:-5}
read -r -a sizes <<<"${SIZES_MIB:-1 16 256}"

for tool in /usr/bin/time lp cmp; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
if [[ -z "${PLOXWEN_NO_BUILD:-}" ]]; then
  (cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default -j2 --target ploxwen >/dev/null)
fi
ploxwen="$root/build/default/bin/ploxwen"

work=$(mktemp -d /tmp/ploxwen-data-bench.XXXXXX)
trap '"$harness" stop "$work/cups" || true; rm -rf "$work"' EXIT
"$harness" start "$work/cups" >/dev/null
"$harness" add-queue "$work/cups" Virtual
on() { "$harness" run "$work/cups" "$@"; }

# One run of command $2 (a shell line; $f is the payload) for tool $1: its
# wall time (s) and peak RSS (KiB) appended to times.$1 and rss.$1; the job
# it printed must be the payload. bash -c execs a lone command, so time sees
# the program itself; of a pipe's processes it reports the largest, the reader.
run() {
  local out="$work/cups/out/Virtual" job i
  local start end
  start=$(date +%s%N)
  on env f="$work/payload" /usr/bin/time -f '%M' -o "$work/measure" bash -c "$2" >/dev/null
  end=$(date +%s%N)
  read -r rss <"$work/measure"
  awk -v ns=$((end - start)) 'BEGIN { printf "%.4f\n", ns / 1e9 }' >>"$work/times.$1"
  echo "$rss" >>"$work/rss.$1"
  for ((i = 0; i < 1200; i++)); do # until the job has completed: a hang guard
    job=$(find "$out" -type f -regex '.*/[0-9]+' | head -n1)
    [[ -n $job && -z $(on lpstat -o Virtual) ]] && break
    sleep 0.05
  done
  [[ -n $job ]] || { echo "bench: $1 printed nothing" >&2; exit 1; }
  cmp -s "$job" "$work/payload" || { echo "bench: $1 printed other bytes" >&2; exit 1; }
  rm -f "$out"/*
}

median() { sort -g "$1" | awk '{ t[NR] = $1 } END { printf "%.4f", NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'; }
largest() { sort -g "$1" | tail -n1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

declare -A line=(
  [pf]="PLOXWEN_DATA=file exec '$ploxwen' \"Virtual¦\$f\""
  [lf]="exec lp -d Virtual -o raw \"\$f\""
  [ps]="PLOXWEN_DATA=stdin exec '$ploxwen' Virtual <\"\$f\""
  [ls]="exec lp -d Virtual -o raw <\"\$f\""
  [pp]="cat \"\$f\" | PLOXWEN_DATA=stdin '$ploxwen' Virtual"
  [lp]="cat \"\$f\" | lp -d Virtual -o raw"
)
echo "cupsd: private, unix socket under $work; $rounds rounds per size"
printf '%-8s %-6s %12s %10s %8s %14s %12s %10s %16s\n' MiB via "ploxwen (s)" "lp (s)" ratio \
  "ploxwen (MiB)" "lp (MiB)" ratio "payload+16 MiB"
for mib in "${sizes[@]}"; do
  head -c $((mib << 20)) /dev/urandom >"$work/payload"
  rm -f "$work"/times.* "$work"/rss.*
  for ((round = 0; round < rounds; round++)); do
    order=(pf lf ps ls pp lp)
    ((round % 2 == 0)) || order=(lp pp ls ps lf pf)
    for tool in "${order[@]}"; do run "$tool" "${line[$tool]}"; done
  done
  for via in f s p; do
    pt=$(median "$work/times.p$via") lt=$(median "$work/times.l$via")
    pr=$(largest "$work/rss.p$via") lr=$(largest "$work/rss.l$via")
    name=$(case $via in f) echo file ;; s) echo stdin ;; p) echo pipe ;; esac)
    printf '%-8s %-6s %12s %10s %8s %14s %12s %10s %16s\n' "$mib" "$name" "$pt" "$lt" "$(ratio "$pt" "$lt")" \
      "$((pr / 1024))" "$((lr / 1024))" "$(ratio "$pr" "$lr")" \
      "$(awk -v r="$pr" -v m="$mib" 'BEGIN { print (r / 1024 <= m + 16) ? "within" : "OVER" }')"
  done
done
echo "wall: median of $rounds runs; RSS: the largest; targets: ratio <= 1.00 for wall, ploxwen's RSS within payload+16 MiB"
