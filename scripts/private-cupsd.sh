#!/usr/bin/env bash
# A private CUPS server for tests, demos and benchmarks, kept entirely inside
# one directory. The system's CUPS service is never touched: the private
# cupsd listens on a unix socket in DIR (and on a loopback port if asked),
# keeps every file it writes under DIR, and clients reach it through
# CUPS_SERVER.
#
# Usage (as root):
#   private-cupsd.sh start DIR          start cupsd, wait until it answers, print the env
#   private-cupsd.sh stop DIR           stop it (waits for it to exit; fine if not running)
#   private-cupsd.sh add-queue DIR NAME [URI]
#                                       create a raw queue, enabled and accepting;
#                                       URI defaults to testout:/ (see below)
#   private-cupsd.sh env DIR            print the env again
#   private-cupsd.sh run DIR CMD...     run CMD with the env applied
#
# DIR should be a fresh, short path (the socket path must fit in 107 bytes),
# e.g. DIR=$(mktemp -d /tmp/cups.XXXXXX). `start` prints shell lines to eval:
#   eval "$(scripts/private-cupsd.sh start "$DIR")"
# which set CUPS_SERVER=DIR/cups.sock, CUPS_SERVERROOT=DIR/etc (client.conf
# and lpoptions come from there, not /etc/cups), HOME=DIR/home (so ~/.cups/lpoptions
# is private too) and unset PRINTER and LPDEST. The same lines are in DIR/env.sh.
# Wine's spooler and any libcups client follow CUPS_SERVER the same way.
#
# The test backend `testout` (URI testout:/ , in DIR's private ServerBin, mode
# 0700 so cupsd runs it as root) writes each job's bytes to
#   DIR/out/<queue>/<job-id>         (renamed into place once complete)
#   DIR/out/<queue>/<job-id>.meta    (title, user, content type; written first)
# where <queue> is the queue's name as CUPS stores it.
#
# The test backend `testfail` (URI testfail:/) fails every job with
# CUPS_BACKEND_FAILED; with the server's ErrorPolicy abort-job, the job ends
# aborted and the queue stays enabled. As testfail:/KEYWORD it first reports
# the printer condition KEYWORD (media-empty-error, say), as a device would.
#
# The test backend `testbusy` (URI testbusy:/KEYWORD) reports the condition
# KEYWORD (offline-report, say) and keeps the job processing until it is
# cancelled.
#
# Logs: DIR/log/{error_log,access_log,page_log}, stamped to the microsecond.
# access_log logs every IPP request (AccessLogLevel all), which is how
# requests per run are counted.
# Set PRIVATE_CUPSD_LOGLEVEL=debug for a verbose error_log.
# Set PRIVATE_CUPSD_PORT=PORT for `start` to listen on 127.0.0.1:PORT too (clients
# then reach it with CUPS_SERVER=127.0.0.1:PORT); pick a free port, loopback only.
# Set PRIVATE_CUPSD_QUEUES=N for `start` to write N raw queues Queue1..QueueN
# (testout:/, enabled, accepting) into DIR's printers.conf, replacing it, before
# cupsd starts: thousands of queues in a moment, where lpadmin takes minutes.
set -euo pipefail

die() {
  echo "private-cupsd: $*" >&2
  exit 1
}

abs_dir() {
  [[ -n "${1:-}" ]] || die "missing DIR"
  mkdir -p "$1"
  (cd "$1" && pwd -P)
}

env_lines() {
  local dir=$1
  printf 'export CUPS_SERVER=%q\n' "$dir/cups.sock"
  printf 'export CUPS_SERVERROOT=%q\n' "$dir/etc"
  printf 'export HOME=%q\n' "$dir/home"
  printf 'unset PRINTER LPDEST\n'
}

apply_env() {
  export CUPS_SERVER="$1/cups.sock" CUPS_SERVERROOT="$1/etc" HOME="$1/home"
  unset PRINTER LPDEST
}

write_config() {
  local dir=$1 sysbin=/usr/lib/cups
  mkdir -p "$dir"/{etc/ppd,etc/ssl,spool/tmp,cache,state,log,run,home,out,serverbin/backend}
  chmod 0755 "$dir" "$dir/out" "$dir/serverbin" "$dir/serverbin/backend"
  chmod 0700 "$dir/home"

  # Private ServerBin: the system's helpers, plus the test backend.
  local sub
  for sub in cgi-bin daemon driver filter monitor notifier; do
    [[ -e "$sysbin/$sub" ]] && ln -sfn "$sysbin/$sub" "$dir/serverbin/$sub"
  done
  local backend
  for backend in "$sysbin"/backend/*; do
    ln -sfn "$backend" "$dir/serverbin/backend/${backend##*/}"
  done
  cat >"$dir/serverbin/backend/testout" <<EOF
#!/bin/sh
# Test-only backend: stores each job's bytes under $dir/out/<queue>/.
if [ \$# -eq 0 ]; then
  echo 'direct testout "Unknown" "Private test output"'
  exit 0
fi
if [ \$# -lt 5 ] || [ \$# -gt 6 ]; then
  echo "Usage: testout job-id user title copies options [file]" >&2
  exit 1
fi
umask 022
out="$dir/out/\${PRINTER:-unknown}"
mkdir -p "\$out" || exit 1
{
  printf 'title=%s\n' "\$3"
  printf 'user=%s\n' "\$2"
  printf 'copies=%s\n' "\$4"
  printf 'content_type=%s\n' "\${CONTENT_TYPE:-}"
  printf 'final_content_type=%s\n' "\${FINAL_CONTENT_TYPE:-}"
} >"\$out/\$1.meta.part" && mv -f "\$out/\$1.meta.part" "\$out/\$1.meta" || exit 1
if [ \$# -eq 6 ]; then
  cat -- "\$6" >"\$out/\$1.part" || exit 1
else
  cat >"\$out/\$1.part" || exit 1
fi
mv -f "\$out/\$1.part" "\$out/\$1" || exit 1
echo "INFO: stored job \$1 in \$out" >&2
exit 0
EOF
  cat >"$dir/serverbin/backend/testfail" <<'EOF'
#!/bin/sh
# Test-only backend: a device that fails every job it is given, after
# reporting the printer condition its URI names, if any.
if [ $# -eq 0 ]; then
  echo 'direct testfail "Unknown" "Private failing output"'
  exit 0
fi
condition=${DEVICE_URI#testfail:/}
[ -n "$condition" ] && echo "STATE: +$condition" >&2
echo "ERROR: the test device failed" >&2
exit 1 # CUPS_BACKEND_FAILED: the queue's ErrorPolicy decides
EOF
  cat >"$dir/serverbin/backend/testbusy" <<'EOF'
#!/bin/sh
# Test-only backend: a device that reports the condition its URI names and
# never finishes the job; cancelling the job ends it.
if [ $# -eq 0 ]; then
  echo 'direct testbusy "Unknown" "Private busy output"'
  exit 0
fi
echo "STATE: +${DEVICE_URI#testbusy:/}" >&2
exec sleep 3600
EOF
  local backend_name
  for backend_name in testout testfail testbusy; do
    chown root:root "$dir/serverbin/backend/$backend_name"
    chmod 0700 "$dir/serverbin/backend/$backend_name"
  done

  cp /etc/cups/raw.types /etc/cups/raw.convs "$dir/etc/" 2>/dev/null || true
  : >"$dir/etc/client.conf"

  cat >"$dir/etc/cups-files.conf" <<EOF
ServerRoot $dir/etc
ServerBin $dir/serverbin
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/etc/printcap
User lp
Group lp
SystemGroup root
PeerCred off
LogFilePerm 0644
ConfigFilePerm 0644
FileDevice No
EOF

  local port=${PRIVATE_CUPSD_PORT:-}
  [[ -z $port || $port =~ ^[0-9]+$ ]] || die "PRIVATE_CUPSD_PORT is not a number: $port"
  cat >"$dir/etc/cupsd.conf" <<EOF
Listen $dir/cups.sock
${port:+Listen 127.0.0.1:$port}
LogLevel ${PRIVATE_CUPSD_LOGLEVEL:-info}
LogTimeFormat usecs
AccessLogLevel all
MaxLogSize 0
PageLogFormat %p %j %u "%{job-name}" %{document-format} %T %P %C
HostNameLookups Off
Browsing Off
BrowseLocalProtocols none
DefaultShared No
WebInterface No
DefaultAuthType None
DefaultEncryption Never
ErrorPolicy abort-job
PreserveJobHistory Yes
PreserveJobFiles No
MaxJobs 0
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order deny,allow
    Allow all
  </Limit>
</Policy>
EOF
  chmod 0644 "$dir/etc/cupsd.conf" "$dir/etc/cups-files.conf"
}

write_queues() {
  local dir=$1 count=$2
  [[ $count =~ ^[0-9]+$ ]] || die "PRIVATE_CUPSD_QUEUES is not a number: $count"
  awk -v n="$count" 'BEGIN {
    for (i = 1; i <= n; i++)
      printf "<Printer Queue%d>\nDeviceURI testout:/\nState Idle\nAccepting Yes\nShared No\n</Printer>\n", i
  }' >"$dir/etc/printers.conf"
}

is_running() {
  local pid
  [[ -f "$1/cupsd.pid" ]] || return 1
  pid=$(<"$1/cupsd.pid")
  [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null
}

cmd_start() {
  [[ $(id -u) -eq 0 ]] || die "cupsd must run as root"
  local dir
  dir=$(abs_dir "$1")
  local socket="$dir/cups.sock"
  ((${#socket} < 104)) || die "socket path too long: $socket"
  is_running "$dir" && die "already running in $dir"
  write_config "$dir"
  if [[ -n "${PRIVATE_CUPSD_QUEUES:-}" ]]; then
    write_queues "$dir" "$PRIVATE_CUPSD_QUEUES"
  fi
  rm -f "$socket"

  # Foreground mode keeps the process ours: the pid we record is cupsd itself.
  cupsd -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" \
    </dev/null >>"$dir/log/cupsd.out" 2>&1 &
  echo $! >"$dir/cupsd.pid"

  local i
  for ((i = 0; i < 200; i++)); do
    if ! is_running "$dir"; then
      tail -n 30 "$dir/log/error_log" "$dir/log/cupsd.out" >&2 2>/dev/null || true
      die "cupsd exited during start-up"
    fi
    if [[ -S "$socket" ]] && (apply_env "$dir" && lpstat -r >/dev/null 2>&1); then
      env_lines "$dir" >"$dir/env.sh"
      cat "$dir/env.sh"
      return 0
    fi
    sleep 0.05
  done
  cmd_stop "$dir"
  die "cupsd did not answer within 10 s"
}

cmd_stop() {
  local dir
  dir=$(abs_dir "$1")
  [[ -f "$dir/cupsd.pid" ]] || return 0
  local pid
  pid=$(<"$dir/cupsd.pid")
  if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    local i
    for ((i = 0; i < 100; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    if kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  fi
  rm -f "$dir/cupsd.pid" "$dir/cups.sock"
}

cmd_add_queue() {
  local dir
  dir=$(abs_dir "$1")
  local name=${2:?missing queue NAME} uri=${3:-testout:/}
  apply_env "$dir"
  lpadmin -p "$name" -E -v "$uri"
}

case "${1:-}" in
  start) cmd_start "${2:-}" ;;
  stop) cmd_stop "${2:-}" ;;
  add-queue) cmd_add_queue "${2:-}" "${3:-}" "${4:-}" ;;
  env) env_lines "$(abs_dir "${2:-}")" ;;
  run)
    dir=$(abs_dir "${2:-}")
    shift 2
    apply_env "$dir"
    exec "$@"
    ;;
  *)
    sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
