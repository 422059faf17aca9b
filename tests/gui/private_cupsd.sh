# Sourced by the desktop tests and the benchmarks: start_cupsd runs a
# private cupsd on a unix socket under $WORK (never the system's service),
# with one raw queue "Receipt" writing to $WORK/receipt.out, and sets
# CUPS_SOCKET and CUPSD_PID. The caller stops it (kill $CUPSD_PID).
# Needs: $WORK, a fail function.

start_cupsd() {
    local root=$WORK/cups
    mkdir -p "$root"/{spool,cache,state,log,tmp,ppd}
    chmod 0777 "$root/tmp"
    cat >"$root/cups-files.conf" <<EOF
ServerRoot $root
RequestRoot $root/spool
CacheDir $root/cache
StateDir $root/state
TempDir $root/tmp
ErrorLog $root/log/error_log
AccessLog $root/log/access_log
PageLog $root/log/page_log
ServerBin /usr/lib/cups
DataDir /usr/share/cups
FileDevice Yes
Sandboxing Relaxed
EOF
    cat >"$root/cupsd.conf" <<EOF
Listen $root/cupsd.sock
Browsing No
DefaultAuthType None
WebInterface No
LogLevel warn
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
EOF
    cupsd -f -c "$root/cupsd.conf" -s "$root/cups-files.conf" 2>"$root/log/stderr" &
    CUPSD_PID=$!
    for _ in $(seq 100); do
        [ -S "$root/cupsd.sock" ] && break
        sleep 0.1
    done
    [ -S "$root/cupsd.sock" ] || fail "cupsd did not start: $(cat "$root"/log/*)"
    CUPS_SOCKET=$root/cupsd.sock
    lpadmin -h "$CUPS_SOCKET" -p Receipt -E -v "file://$WORK/receipt.out" -m raw 2>/dev/null ||
        lpadmin -h "$CUPS_SOCKET" -p Receipt -E -v "file://$WORK/receipt.out" ||
        fail "cannot add the queue: $(cat "$root"/log/error_log)"
    lpstat -h "$CUPS_SOCKET" -p Receipt >/dev/null || fail "the queue Receipt is not listed"
}

