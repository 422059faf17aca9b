#!/usr/bin/env bash
# Benchmark (not a test): ploxwen against lp on private CUPS servers with 1,
# 500 and 2,000 queues and none set as the default, and on one whose default
# is another queue than the one printed on (the usual case: a receipt printer
# that is not the default).
#   1. wall time: `ploxwen "Virtual¦HELLO"` vs `lp -d Virtual -o raw FILE`
#      (FILE holds HELLO) on each server; runs interleaved in batches of 10
#      across both programs and all four servers, so that a busy moment of
#      the machine falls on all of them; medians and ratios in one table;
#   2. the IPP requests one run makes on each server (server access log):
#      the same at every queue count, and none that lists every queue;
#   3. the near miss `virtual¦x` on 2,000 queues (only `Virtual` exists): 1;
#   4. peak RSS of each program on 1 queue (/usr/bin/time -v, largest of 10);
#   5. PLOXWEN_WAIT=5 on 1 queue, whose device takes a job at once: the wall
#      time and requests the wait adds to a run, against the job's own time
#      on the server (queued to completed, from cupsd's error_log, whose
#      stamps the harness keeps to the microsecond); timed in the same
#      interleaved batches as 1.
# Targets: wall <= 0.90x lp on 1 queue and <= 0.80x lp on 2,000 queues;
# 2,000 queues <= 1.15x ploxwen's own time on 1; with a default set <= 0.80x
# lp and no slower than without; peak RSS <= lp's.
#
#   bench/bench.sh               (as root; RUNS=100 per command by default, at least 20)
#
# Set PLOXWEN_NO_BUILD=1 to use an existing build/default/bin/ploxwen.
# The servers are started by the private-cupsd harness with the extra queues
# written into printers.conf beforehand (PRIVATE_CUPSD_QUEUES); each keeps
# its job history, the same for both programs. None has a default printer
# but the server `d`: Virtual, and Queue1 as its default.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd -P)
harness="$root/scripts/private-cupsd.sh"
runs=${RUNS:-100}
((runs >= 20)) || runs=20
batch=10
rounds=$(((runs + batch - 1) / batch))
queue_counts=(1 500 2000)

for tool in hyperfine /usr/bin/time lp lpadmin; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
if [[ -z "${PLOXWEN_NO_BUILD:-}" ]]; then
  (cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default -j2 --target ploxwen >/dev/null)
fi
ploxwen="$root/build/default/bin/ploxwen"

work=$(mktemp -d /tmp/ploxwen-bench.XXXXXX)
cleanup() {
  local n
  for n in "${queue_counts[@]}" d; do "$harness" stop "$work/q$n" || true; done
  rm -rf "$work"
}
trap cleanup EXIT
printf 'HELLO' >"$work/hello"

# One server per queue count: `Virtual` plus n - 1 pre-written queues.
for n in "${queue_counts[@]}"; do
  PRIVATE_CUPSD_QUEUES=$((n - 1)) "$harness" start "$work/q$n" >/dev/null
  "$harness" add-queue "$work/q$n" Virtual
  count=$("$harness" run "$work/q$n" lpstat -e | wc -l)
  ((count == n)) || { echo "bench: server q$n has $count queues, not $n" >&2; exit 1; }
done
PRIVATE_CUPSD_QUEUES=1 "$harness" start "$work/qd" >/dev/null
"$harness" add-queue "$work/qd" Virtual
"$harness" run "$work/qd" lpadmin -d Queue1
[[ $("$harness" run "$work/qd" lpstat -d) == *Queue1 ]] || { echo "bench: server qd has no default" >&2; exit 1; }

# The commands run without a shell between (hyperfine -N).
ploxwen_cmd="'$ploxwen' 'Virtual¦HELLO'"
lp_cmd="lp -d Virtual -o raw '$work/hello'"
on() { "$harness" run "$work/q$1" "${@:2}"; }  # command ${@:2} as a client of server $1

# IPP requests of one run of command $2 on server $1, from its access log.
requests_of() {
  local log="$work/q$1/log/access_log" before
  before=$(wc -l <"$log")
  eval "on $1 $2" >/dev/null
  sleep 0.5  # cupsd logs a request after answering it
  tail -n +"$((before + 1))" "$log" | awk '{ print $(NF - 1) }' | paste -sd' '
}

echo "cupsd: private, unix sockets under $work; $rounds rounds of $batch runs per command and server"
for n in "${queue_counts[@]}" d; do
  on "$n" "$ploxwen" "Virtual¦HELLO"  # fails loudly here rather than in the timings
done

echo "requests of one run:"
same=yes
for n in "${queue_counts[@]}"; do
  p_requests=$(requests_of "$n" "$ploxwen_cmd")
  printf '  %5d queues   ploxwen: %s\n                 lp:      %s\n' "$n" "$p_requests" "$(requests_of "$n" "$lp_cmd")"
  [[ $p_requests == "${first_requests:=$p_requests}" && $p_requests != *CUPS-Get-Printers* ]] || same=no
done
echo "  ploxwen makes the same requests at every queue count, none listing every queue: $same"
printf '  default Queue1, 1 queue more: ploxwen: %s\n                 lp:      %s\n' "$(requests_of d "$ploxwen_cmd")" \
  "$(requests_of d "$lp_cmd")"
printf '  PLOXWEN_WAIT=5, 1 queue: %s\n' "$(requests_of 1 "env PLOXWEN_WAIT=5 $ploxwen_cmd")"

set +e
on 2000 "$ploxwen" "virtual¦x"
near_miss=$?
set -e
echo "near miss virtual¦x on 2000 queues: exit $near_miss (expected 1)"

# Interleaved timing: every round runs a batch of each command on each
# server, the order of the two commands alternating from round to round.
# On 1 queue ploxwen also runs with PLOXWEN_WAIT=5 (tool w); empty, the
# variable counts as unset.
for ((round = 0; round < rounds; round++)); do
  for n in "${queue_counts[@]}" d; do
    order=(p lp)
    [[ $n == 1 ]] && order=(p w lp)
    ((round % 2 == 0)) || mapfile -t order < <(printf '%s\n' "${order[@]}" | tac)
    for tool in "${order[@]}"; do
      if [[ $tool == lp ]]; then cmd=$lp_cmd; else cmd=$ploxwen_cmd; fi
      wait_for=
      [[ $tool == w ]] && wait_for=5
      PLOXWEN_WAIT=$wait_for on "$n" hyperfine -N --style none --warmup 2 --runs "$batch" \
        --export-json "$work/hf.json" "$cmd" >/dev/null 2>&1
      awk '/"times"/ { f = 1; next } f && /\]/ { f = 0 } f { gsub(/[ ,]/, ""); print }' "$work/hf.json" \
        >>"$work/times.$tool.$n"
    done
  done
done

# Median in ms of the run times in file $1 (seconds, one a line).
median_ms() { sort -g "$1" | awk '{ t[NR] = $1 } END { printf "%.2f", 1000 * (NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

p1=$(median_ms "$work/times.p.1")
echo
printf '%-8s %13s %13s %15s %19s\n' queues "ploxwen (ms)" "lp (ms)" "ploxwen / lp" "ploxwen / 1 queue"
for n in "${queue_counts[@]}"; do
  p=$(median_ms "$work/times.p.$n")
  l=$(median_ms "$work/times.lp.$n")
  printf '%-8s %13s %13s %15s %19s\n' "$n" "$p" "$l" "$(ratio "$p" "$l")" "$(ratio "$p" "$p1")"
done
pd=$(median_ms "$work/times.p.d")
ld=$(median_ms "$work/times.lp.d")
printf '%-8s %13s %13s %15s %19s\n' default "$pd" "$ld" "$(ratio "$pd" "$ld")" "$(ratio "$pd" "$p1")"
echo "medians of $(wc -l <"$work/times.p.1") runs each; default: server d, Virtual and its default Queue1;"
echo "targets: ploxwen / lp <= 0.90 on 1 queue and <= 0.80 on 2000 and with a default;"
echo "2000 queues <= 1.15 x and with a default <= 1.00 x ploxwen's 1-queue time"

# Median in ms over the jobs of server $1 from "Queued on" to "Job completed."
# (error_log stamps: [08/Dec/2026:01:34:17.123456 +0000]).
job_ms() {
  awk 'match($0, /\[Job [0-9]+\] (Queued on|Job completed\.)/) {
      job = $5
      match($0, /:[0-9]+:[0-9]+:[0-9.]+ /)
      split(substr($0, RSTART + 1, RLENGTH - 2), t, ":")
      at = t[1] * 3600 + t[2] * 60 + t[3]
      if (/Queued on/) queued[job] = at; else if (job in queued) print 1000 * (at - queued[job])
    }' "$work/q$1/log/error_log" | sort -g | awk '{ t[NR] = $1 } END { printf "%.2f", t[int((NR + 1) / 2)] }'
}
w1=$(median_ms "$work/times.w.1")
echo
echo "PLOXWEN_WAIT=5 on 1 queue: ploxwen $w1 ms, $(awk -v w="$w1" -v p="$p1" 'BEGIN { printf "%+.2f", w - p }') ms" \
  "over unset; the job on the server, queued to completed: $(job_ms 1) ms (median of its $(grep -c 'Job completed' \
  "$work/q1/log/error_log") jobs)"

# Largest peak RSS in KiB over 10 runs of "$@" on the one-queue server.
peak_rss_kb() {
  local max=0 rss i
  for ((i = 0; i < 10; i++)); do
    rss=$(on 1 /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { print $2 }')
    ((rss > max)) && max=$rss
  done
  echo "$max"
}
prss=$(peak_rss_kb "$ploxwen" "Virtual¦HELLO")
lprss=$(peak_rss_kb lp -d Virtual -o raw "$work/hello")
echo
echo "peak RSS:  ploxwen $prss KiB   lp $lprss KiB   ratio $(ratio "$prss" "$lprss") (target <= 1.00)"
