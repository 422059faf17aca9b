# Sourced by the desktop tests and the benchmarks: start_cupsd starts the
# project's private cupsd (tests/cups/private-cupsd.sh) under $WORK with one
# raw queue "Receipt", and sets CUPS_SOCKET and CUPSD_PID. The caller stops it
# (kill $CUPSD_PID). Needs: $WORK, $SOURCE_DIR, a fail function.

start_cupsd() {
    local harness=$SOURCE_DIR/tests/cups/private-cupsd.sh root=$WORK/cups
    mkdir -p "$root"
    "$harness" start "$root" >/dev/null || fail "cupsd did not start"
    "$harness" add-queue "$root" Receipt >/dev/null || fail "cannot add the queue Receipt"
    CUPS_SOCKET=$root/cups.sock
    CUPSD_PID=$(<"$root/cupsd.pid")
}
