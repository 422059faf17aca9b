#!/usr/bin/env python3
"""ipp_relay.py LISTEN UPSTREAM MODE [COMMAND]: a CUPS server in trouble, in front of a real one.
silent: accepts and never answers. drop-answer: passes all but the answer to the job (a POST
to /printers/), then hangs up. cut: once 64 KiB of the job passed, runs COMMAND (PEER holds
the client's pid) and hangs up on both sides, the job's request unfinished. pass: passes
everything; at the client's end, appends all it sent on that connection to the file COMMAND."""
import os, socket, struct, subprocess, sys, threading
listen, upstream, mode = sys.argv[1:4]
relay = socket.socket(socket.AF_UNIX)
relay.bind(listen)
relay.listen(16)


def serve(client):
    if mode == "silent":
        return threading.Event().wait()
    server = socket.socket(socket.AF_UNIX)
    server.connect(upstream)
    job = threading.Event()

    def upward():
        job_bytes, sent = 0, b""
        while data := client.recv(65536):
            sent += data
            if b"POST /printers/" in data:
                job.set()
            job_bytes += len(data) if job.is_set() else 0
            if mode == "cut" and job_bytes > 65536:
                pid = struct.unpack("3i", client.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, 12))[0]
                subprocess.run(sys.argv[4], shell=True, env=dict(os.environ, PEER=str(pid)))
                return server.shutdown(socket.SHUT_RDWR), client.close()
            server.sendall(data)
        if mode == "pass":
            open(sys.argv[4], "ab").write(sent)

    up = threading.Thread(target=upward, daemon=True)
    up.start()
    while data := server.recv(65536):
        if job.is_set() and mode == "drop-answer" and b" 100 Continue" not in data:
            return client.shutdown(socket.SHUT_RDWR)  # wakes the reader above, too
        client.sendall(data)
    if mode == "cut":
        up.join()  # a server that COMMAND stops hangs up first: the client waits for COMMAND
    client.close()


while True:
    threading.Thread(target=serve, args=(relay.accept()[0],), daemon=True).start()
