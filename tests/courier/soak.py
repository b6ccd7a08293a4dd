#!/usr/bin/env python3
"""Loads a running agent with slow clients and malformed requests.

1. 200 clients send a request head one byte per second; meanwhile a
   well-formed request must be answered within a second, every time.
2. 10,000 malformed requests (bad request lines, binary garbage, oversized
   heads, invalid header names, HTTP/2 prefaces), each on its own connection;
   the agent must keep answering and its resident memory stay flat.
Exits non-zero when either fails. Run through scripts/soak-agent.
"""
import argparse
import os
import random
import socket
import sys
import threading
import time

WELL_FORMED = b"GET /PVN_SERVICE?PVN_CMD=NONE HTTP/1.1\r\nHost: 127.0.0.1\r\nPVN_Token: x\r\n\r\n"


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def timed_request(port, timeout=5.0):
    """Seconds until a whole answer to a well-formed request came back."""
    begun = time.monotonic()
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(WELL_FORMED)
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = s.recv(4096)
            if not chunk:
                break
            data += chunk
    if not data.startswith(b"HTTP/1.1 404 Not Found\r\n"):
        raise RuntimeError(f"unexpected answer {data[:40]!r}")
    return time.monotonic() - begun


def slow_clients(port, count, seconds):
    stop = threading.Event()
    head = b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + b"s" * 200

    def trickle():
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
                for byte in head:
                    if stop.is_set():
                        return
                    s.sendall(bytes([byte]))
                    stop.wait(1.0)
        except OSError:
            pass

    threads = [threading.Thread(target=trickle, daemon=True) for _ in range(count)]
    for t in threads:
        t.start()
    time.sleep(2)
    worst = 0.0
    deadline = time.monotonic() + seconds
    samples = 0
    while time.monotonic() < deadline:
        worst = max(worst, timed_request(port))
        samples += 1
        time.sleep(0.5)
    stop.set()
    for t in threads:
        t.join()
    return samples, worst


def malformed(seed):
    rnd = random.Random(seed)
    kind = seed % 5
    if kind == 0:
        return rnd.choice([b"GET\r\n\r\n", b"GET / HTTP/1.1 extra\r\n\r\n", b" / HTTP/1.1\r\n\r\n",
                           b"GET / HTTQ/1.1\r\n\r\n", b"\r\n\r\n\r\n"])
    if kind == 1:
        return bytes(rnd.getrandbits(8) for _ in range(rnd.randint(1, 512))) + b"\r\n\r\n"
    if kind == 2:
        return b"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + b"b" * 17000 + b"\r\n\r\n"
    if kind == 3:
        return b"GET / HTTP/1.1\r\nHost: x\r\nBad Name: 1\r\n(x): 2\r\n\r\n"
    return b"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n"


def send_malformed(port, payload):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            s.sendall(payload)
            s.shutdown(socket.SHUT_WR)
            while s.recv(65536):
                pass
    except OSError:
        pass  # a reset is a fine answer to garbage


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--pid", type=int, required=True)
    parser.add_argument("--slow", type=int, default=200)
    parser.add_argument("--slow-seconds", type=int, default=20)
    parser.add_argument("--malformed", type=int, default=10000)
    args = parser.parse_args()
    failed = False

    samples, worst = slow_clients(args.port, args.slow, args.slow_seconds)
    print(f"slow clients: {args.slow}, {samples} well-formed requests, worst answer {worst * 1000:.1f} ms")
    if worst >= 1.0:
        print("FAIL: a well-formed request waited a second or more")
        failed = True

    before = rss_kib(args.pid)
    marks = []
    for i in range(args.malformed):
        send_malformed(args.port, malformed(i))
        if (i + 1) % 2500 == 0:
            timed_request(args.port)
            marks.append(rss_kib(args.pid))
    after = rss_kib(args.pid)
    print(f"malformed requests: {args.malformed}; agent RSS {before} KiB before, "
          f"{', '.join(str(m) for m in marks)} KiB on the way, {after} KiB after")
    if after - before > 4096 or (len(marks) >= 2 and marks[-1] - marks[1] > 1024):
        print("FAIL: the agent's memory grew")
        failed = True
    print(f"still serving: answer in {timed_request(args.port) * 1000:.1f} ms")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
