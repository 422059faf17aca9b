#!/usr/bin/env python3
"""ipp_relay.py LISTEN UPSTREAM MODE [ARG [ARG2]]: a CUPS server in trouble, in front of a real one.
LISTEN is a socket path, or 127.0.0.1 for a free TCP port; once bound, the relay prints the address
to give CUPS_SERVER. silent: accepts and never answers. late: listens only half a second after it
binds, refusing connections till then, like a server restarting. trickle: sends every answer one
byte a second. trickle-answer, drop-answer: pass all but the answer to the job (a POST to
/printers/), which they send one byte a second, or drop and hang up. slow-read: takes what the
client sends at ARG bytes a second. cut: once 64 KiB of the job passed, runs ARG (PEER holds the
client's pid) and hangs up on both sides, the job's request unfinished. hang-up: hangs up on the
first request that holds ARG, passing none of it, as a reloading cupsd may. forge: writes ARG2
over every ARG (both with Python's escapes) in the answers, each passed whole with its
Content-Length mended. answer-job: once ARG2 bytes of the job passed (0: the whole request),
answers it with ARG (with Python's escapes) itself and hangs up on both sides. pass: passes
everything; at the client's end, appends all it sent on that connection to the file ARG.
close-deaf (over TCP): answers the first request ARG seconds late, saying "Connection: close", and
then takes no connection again, its listen queue full, so a new connect() is never answered."""
import contextlib, os, re, socket, struct, subprocess, sys, threading, time
listen, upstream, mode = sys.argv[1:4]
tcp = not listen.startswith("/")
relay = socket.socket(socket.AF_INET if tcp else socket.AF_UNIX)
relay.bind((listen, 0) if tcp else listen)
print("%s:%d" % relay.getsockname() if tcp else listen, flush=True)
time.sleep(0.5 if mode == "late" else 0)
relay.listen(0 if mode == "close-deaf" else 16)
deaf, fillers = threading.Event(), []


hung_up = threading.Event()
unescaped = lambda text: text.encode().decode("unicode_escape").encode("latin-1")


def fill_listen_queue():  # nothing accepts now: once the queue is full, a connect() is never answered
    while True:
        fillers.append(socket.socket())
        fillers[-1].settimeout(0.5)
        try:
            fillers[-1].connect(relay.getsockname())
        except TimeoutError:
            return


def serve(client):
    if mode == "silent":
        return threading.Event().wait()
    server = socket.socket(socket.AF_UNIX)
    server.connect(upstream)
    job = threading.Event()

    def upward():
        job_bytes, sent = 0, b""
        while data := client.recv(int(sys.argv[4]) // 10 if mode == "slow-read" else 65536):
            time.sleep(0.1 if mode == "slow-read" else 0)
            sent += data
            if b"POST /printers/" in data:
                job.set()
            job_bytes += len(data) if job.is_set() else 0
            if mode == "cut" and job_bytes > 65536:
                pid = struct.unpack("3i", client.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, 12))[0]
                subprocess.run(sys.argv[4], shell=True, env=dict(os.environ, PEER=str(pid)))
                return server.shutdown(socket.SHUT_RDWR), client.close()
            if mode == "answer-job" and job.is_set() and (
                0 < int(sys.argv[5]) < job_bytes or (sys.argv[5] == "0" and sent.endswith(b"0\r\n\r\n"))
            ):
                client.sendall(unescaped(sys.argv[4]))
                return server.shutdown(socket.SHUT_RDWR), client.close()
            if mode == "hang-up" and sys.argv[4].encode() in data and not hung_up.is_set():
                time.sleep(0.2)  # the client has sent all it sends before an answer
                return hung_up.set(), server.shutdown(socket.SHUT_RDWR), client.close()
            server.sendall(data)
        if mode == "pass":
            open(sys.argv[4], "ab").write(sent)

    up = threading.Thread(target=upward, daemon=True)
    up.start()
    pending = b""
    while data := server.recv(65536):
        if mode in ("forge", "close-deaf"):
            pending += data
            while (head := pending.find(b"\r\n\r\n") + 4) >= 4:
                length = re.search(rb"Content-Length: (\d+)", pending[:head])
                end = head + (int(length[1]) if length else 0)
                if len(pending) < end:
                    break
                header, body, pending = pending[:head], pending[head:end], pending[end:]
                if mode == "close-deaf" and b" 100 Continue" not in header:
                    time.sleep(float(sys.argv[4]))
                    header = re.sub(rb"\r\nConnection: [^\r]*", b"", header)[:-2] + b"Connection: close\r\n\r\n"
                    fill_listen_queue()
                    return client.sendall(header + body), client.close(), deaf.set()
                if mode == "forge":
                    body = body.replace(unescaped(sys.argv[4]), unescaped(sys.argv[5]))
                client.sendall(re.sub(rb"Content-Length: \d+", b"Content-Length: %d" % len(body), header) + body)
            continue
        answer = job.is_set() and b" 100 Continue" not in data
        if answer and mode == "drop-answer":
            return client.shutdown(socket.SHUT_RDWR)  # wakes the reader above, too
        trickled = mode == "trickle" or (answer and mode == "trickle-answer")
        for piece in (data[i : i + 1] for i in range(len(data))) if trickled else [data]:
            time.sleep(1 if trickled else 0)
            client.sendall(piece)
    if mode == "cut":
        up.join()  # a server that ARG stops hangs up first: the client waits for ARG
    client.close()


def serve_quietly(client):
    with contextlib.suppress(OSError):  # the client gave up first
        serve(client)


while not deaf.is_set():
    threading.Thread(target=serve_quietly, args=(relay.accept()[0],), daemon=True).start()
    deaf.wait() if mode == "close-deaf" else None
threading.Event().wait()
