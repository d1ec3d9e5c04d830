#!/usr/bin/env python3
"""Feeds a file of articles to a private INN instance over streaming TAKETHIS.

The file holds complete, dot-stuffed articles, each ended by a line holding only ".". The
connection comes from 127.0.0.2, the instance's only feed peer, and writes are batched:
one small write per article makes innd stall for 200 ms at a time.
"""

import argparse
import re
import socket
import sys
import threading
import time

BATCH_BYTES = 256 * 1024
READ_BYTES = 16 * 1024 * 1024
MESSAGE_ID = re.compile(rb"^message-id:[ \t]*(<[^>\s]+>)", re.IGNORECASE | re.MULTILINE)
PATH_HEADER = re.compile(rb"^path:", re.IGNORECASE | re.MULTILINE)


def articles(path):
    """Yields each article of the file with CR LF line ends and without its terminator."""
    # Work on LF line ends; the pending text always starts with the LF that preceded it.
    pending = b"\n"
    cr = b""
    with open(path, "rb") as f:
        while chunk := f.read(READ_BYTES):
            raw = cr + chunk
            cr = b"\r" if raw.endswith(b"\r") else b""
            if cr:
                raw = raw[:-1]
            pending += raw.replace(b"\r\n", b"\n")
            parts = pending.split(b"\n.\n")
            if len(parts) == 1:
                continue
            pending = b"\n" + parts.pop()
            parts[0] = parts[0][1:]
            for part in parts:
                part = part.lstrip(b"\n")
                if part:
                    yield part.replace(b"\n", b"\r\n")
    rest = (pending + cr).strip(b"\r\n")
    if rest.endswith(b"\n."):
        rest = rest[:-2]
    if rest.strip() and rest != b".":
        yield rest.replace(b"\n", b"\r\n")


def takethis(article):
    head_end = article.find(b"\r\n\r\n")
    head = article if head_end < 0 else article[:head_end]
    match = MESSAGE_ID.search(head)
    if not match:
        raise ValueError("article without Message-ID: " + article[:80].decode("latin-1"))
    if not PATH_HEADER.search(head):
        article = b"Path: not-for-mail\r\n" + article
    return b"TAKETHIS " + match.group(1) + b"\r\n" + article + b"\r\n.\r\n"


class Replies(threading.Thread):
    """Reads the 239/439 answers while the main thread keeps writing."""

    def __init__(self, reader):
        super().__init__(daemon=True)
        self.reader = reader
        self.accepted = 0
        self.rejected = []
        self.count = 0
        self.error = None
        self.done = threading.Condition()

    def run(self):
        try:
            for line in self.reader:
                line = line.rstrip(b"\r\n")
                if line.startswith(b"205"):
                    break
                with self.done:
                    if line.startswith(b"239 "):
                        self.accepted += 1
                    else:
                        self.rejected.append(line.decode("latin-1"))
                    self.count += 1
                    self.done.notify_all()
        except OSError as e:
            self.error = e
        with self.done:
            self.error = self.error or EOFError("server closed the connection")
            self.done.notify_all()

    def wait_for(self, count, timeout):
        deadline = time.monotonic() + timeout
        with self.done:
            while self.count < count and self.error is None:
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self.done.wait(left)
            return self.count >= count


def expect(reader, code, what):
    line = reader.readline()
    if not line.startswith(code):
        sys.exit(f"inn_post: {what} answered {line!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--timeout", type=float, default=120, help="seconds to wait for replies")
    parser.add_argument("file")
    args = parser.parse_args()

    sock = socket.socket()
    sock.bind(("127.0.0.2", 0))
    sock.settimeout(30)
    sock.connect(("127.0.0.1", args.port))
    # Bounds every write and read: a server that stops taking articles ends the run.
    sock.settimeout(args.timeout)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    reader = sock.makefile("rb")
    expect(reader, b"200", "greeting")
    sock.sendall(b"MODE STREAM\r\n")
    expect(reader, b"203", "MODE STREAM")

    replies = Replies(reader)
    replies.start()
    sent = 0
    batch = bytearray()
    try:
        for article in articles(args.file):
            batch += takethis(article)
            sent += 1
            if len(batch) >= BATCH_BYTES:
                sock.sendall(batch)
                batch.clear()
        if batch:
            sock.sendall(batch)
    except (ValueError, OSError) as e:
        sys.exit(f"inn_post: {e}")
    if sent == 0:
        sys.exit(f"inn_post: no articles in {args.file}")
    complete = replies.wait_for(sent, args.timeout)
    try:
        sock.sendall(b"QUIT\r\n")
    except OSError:
        pass
    sock.close()

    for line in replies.rejected[:20]:
        print("rejected:", line, file=sys.stderr)
    print(f"{replies.accepted} of {sent} articles accepted")
    if not complete:
        print(f"inn_post: only {replies.count} of {sent} replies arrived", file=sys.stderr)
    return 0 if complete and replies.accepted == sent else 1


if __name__ == "__main__":
    sys.exit(main())
