#!/usr/bin/env python3
"""Loopback peers for a test run in a private network namespace (in_netns.sh starts them).

  --hold ADDR:PORT    TCP listener that accepts every connection and holds it until the peer
                      closes it.
  --drop ADDR:PORT    TCP listener with backlog 0 that never accepts; its queue is filled here at
                      start, so every further connect is dropped (its SYNs go unanswered).
  --ftp ADDR:PORT     scripted FTP server: "220 ready"; HOST -> "220 host ok",
                      USER -> "331 password please", PASS -> "530 Login incorrect.",
                      QUIT -> "221 bye" and close; anything else "502 not implemented".
  --dns ADDR:PORT     UDP DNS server that reads queries and never answers.
  --events FILE       one JSON object a line per event ("connect", "close", "command", "dns",
                      "filled"), each with the "listener" it happened at.
  --deadline SECONDS  every peer stops by then, whatever its clients do.

Every option but the last two may be repeated. Only addresses in 127.0.0.0/8 are accepted.
"ready" is printed on standard output once every socket listens.
"""
import argparse
import ipaddress
import json
import selectors
import signal
import socket
import sys
import time

FTP_REPLIES = {
    "HOST": "220 host ok",
    "USER": "331 password please",
    "PASS": "530 Login incorrect.",
    "QUIT": "221 bye",
}
QUEUE_FILL_LIMIT = 8  # connections tried when filling a --drop listener's queue
QUEUE_FILL_WAIT = 1.0  # seconds a filling connect may take before it counts as dropped


def endpoint(text):
    address, _, port = text.rpartition(":")
    if ipaddress.ip_address(address) not in ipaddress.ip_network("127.0.0.0/8"):
        raise argparse.ArgumentTypeError(f"{text}: not a loopback address")
    return address, int(port)


def name(ep):
    return f"{ep[0]}:{ep[1]}"


class Events:
    def __init__(self, path):
        self.file = open(path, "a", encoding="utf-8")

    def __call__(self, event, listener, **fields):
        record = {"event": event, "listener": name(listener), **fields}
        self.file.write(json.dumps(record) + "\n")
        self.file.flush()


class Peers:
    def __init__(self, events):
        self.selector = selectors.DefaultSelector()
        self.events = events
        self.kept = []  # the connections that fill the --drop listeners' queues

    def listen(self, ep, backlog, kind=socket.SOCK_STREAM):
        s = socket.socket(socket.AF_INET, kind)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(ep)
        if kind == socket.SOCK_STREAM:
            s.listen(backlog)
        return s

    def watch(self, s, handler):
        self.selector.register(s, selectors.EVENT_READ, handler)

    def end(self, s, ep, peer):
        self.selector.unregister(s)
        s.close()
        self.events("close", ep, peer=peer)

    # --hold
    def hold(self, ep):
        listener = self.listen(ep, 64)
        self.watch(listener, lambda: self.accept_held(listener, ep))

    def accept_held(self, listener, ep):
        conn, peer = listener.accept()
        peer = name(peer)
        self.events("connect", ep, peer=peer)

        def readable():
            try:
                data = conn.recv(4096)
            except OSError:
                data = b""
            if not data:
                self.end(conn, ep, peer)

        self.watch(conn, readable)

    # --drop
    def drop(self, ep):
        listener = self.listen(ep, 0)
        filled = 0
        for _ in range(QUEUE_FILL_LIMIT):
            c = socket.socket()
            c.setblocking(False)
            c.connect_ex(ep)
            done = selectors.DefaultSelector()
            done.register(c, selectors.EVENT_WRITE)
            ok = bool(done.select(QUEUE_FILL_WAIT)) and c.getsockopt(
                socket.SOL_SOCKET, socket.SO_ERROR) == 0
            done.close()
            if not ok:
                c.close()
                break
            self.kept.append(c)
            filled += 1
        else:
            sys.exit(f"peers: the queue of {name(ep)} never filled")
        self.kept.append(listener)
        self.events("filled", ep, connections=filled)

    # --ftp
    def ftp(self, ep):
        listener = self.listen(ep, 8)
        self.watch(listener, lambda: self.accept_ftp(listener, ep))

    def accept_ftp(self, listener, ep):
        conn, peer = listener.accept()
        peer = name(peer)
        self.events("connect", ep, peer=peer)
        conn.sendall(b"220 ready\r\n")
        pending = bytearray()

        def readable():
            try:
                data = conn.recv(4096)
            except OSError:
                data = b""
            if not data:
                self.end(conn, ep, peer)
                return
            pending.extend(data)
            while b"\n" in pending:
                line, _, rest = bytes(pending).partition(b"\n")
                pending[:] = rest
                command = line.rstrip(b"\r").decode("utf-8", "replace")
                self.events("command", ep, peer=peer, line=command)
                verb = command.split(" ", 1)[0].upper()
                conn.sendall(FTP_REPLIES.get(verb, "502 not implemented").encode() + b"\r\n")
                if verb == "QUIT":
                    self.end(conn, ep, peer)
                    return

        self.watch(conn, readable)

    # --dns
    def dns(self, ep):
        s = self.listen(ep, 0, socket.SOCK_DGRAM)

        def readable():
            packet, _ = s.recvfrom(4096)
            labels, at = [], 12  # the question follows the 12-byte header
            while at < len(packet) and packet[at] != 0:
                labels.append(packet[at + 1:at + 1 + packet[at]].decode("ascii", "replace"))
                at += 1 + packet[at]
            qtype = int.from_bytes(packet[at + 1:at + 3], "big")
            self.events("dns", ep, name=".".join(labels), type=qtype)

        self.watch(s, readable)

    def run_until(self, deadline):
        while (left := deadline - time.monotonic()) > 0:
            for key, _ in self.selector.select(min(left, 1.0)):
                key.data()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("hold", "drop", "ftp", "dns"):
        parser.add_argument(f"--{option}", type=endpoint, action="append", default=[])
    parser.add_argument("--events", required=True)
    parser.add_argument("--deadline", type=float, required=True)
    args = parser.parse_args()
    deadline = time.monotonic() + args.deadline
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    peers = Peers(Events(args.events))
    for option in ("hold", "drop", "ftp", "dns"):
        for ep in getattr(args, option):
            getattr(peers, option)(ep)
    print("ready", flush=True)
    peers.run_until(deadline)


if __name__ == "__main__":
    main()
