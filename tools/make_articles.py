#!/usr/bin/env python3
"""Writes generated Usenet articles for a private news server: text posts and multipart binaries.

Binaries take turns between the subject styles posters use: yEnc with "(k/m)", uuencode with
"[k/m]" and yEnc with "[k/m]". Contents come from a seeded generator, so a run is repeatable
except for the message-ids, which carry a tag so that reposts are never refused as duplicates.

The output is a file of dot-stuffed articles, each ended by a line holding only ".", as
"tools/inn post" takes it. A summary line per group goes to stdout: GROUP name articles items.
"""

import argparse
import binascii
import random
import sys
import time
import zlib

POSTERS = [
    "Alice Example <alice@example.invalid>",
    "bob@example.invalid (Bob Poster)",
    "Carol <carol@example.invalid>",
    "Dave Uploader <dave@example.invalid>",
]
WORDS = ["harbour", "tide", "whelk", "shell", "reef", "sand", "dune", "kelp", "gull", "wave", "rock", "pier"]
DATE = "Mon, 07 Dec 2026 10:{:02d}:{:02d} +0000"


def yenc_body(data, name, part, total, begin, size):
    """One yEnc part: =ybegin/=ypart, 128-column lines, =yend with the part's CRC."""
    out = bytearray()
    line = bytearray()
    for byte in data:
        c = (byte + 42) & 0xFF
        if c in (0, 9, 10, 13, 32, 61) or (c == 46 and not line):
            line += b"=" + bytes([(c + 64) & 0xFF])
        else:
            line.append(c)
        if len(line) >= 128:
            out += line + b"\r\n"
            line = bytearray()
    if line:
        out += line + b"\r\n"
    end = begin + len(data) - 1
    head = f"=ybegin part={part} total={total} line=128 size={size} name={name}\r\n"
    head += f"=ypart begin={begin} end={end}\r\n"
    crc = zlib.crc32(data) & 0xFFFFFFFF
    tail = f"=yend size={len(data)} part={part} pcrc32={crc:08x}\r\n"
    return head.encode() + bytes(out) + tail.encode()


def uu_body(data, name, first, last):
    """A slice of one uuencoded file: "begin" on the first part, "end" on the last."""
    out = bytearray()
    if first:
        out += f"begin 644 {name}\r\n".encode()
    for at in range(0, len(data), 45):
        out += binascii.b2a_uu(data[at:at + 45]).rstrip(b"\n") + b"\r\n"
    if last:
        out += b"`\r\nend\r\n"
    return bytes(out)


def dot_stuff(body):
    lines = body.split(b"\r\n")
    return b"\r\n".join(b"." + l if l.startswith(b".") else l for l in lines)


def article(group, subject, poster, message_id, minute, body):
    second = minute % 60
    head = (
        f"From: {poster}\r\nNewsgroups: {group}\r\nSubject: {subject}\r\n"
        f"Date: {DATE.format(minute // 60 % 60, second)}\r\nMessage-ID: <{message_id}>\r\n"
    ).encode("latin-1")
    if not body.endswith(b"\r\n"):
        body += b"\r\n"
    return head + b"\r\n" + dot_stuff(body) + b".\r\n"


def binaries(args, rng, group, tag, counter):
    """Yields (subject, poster, id, body) of every part of every binary, part 1 first."""
    for n in range(args.binaries):
        style = n % 3
        name = f"{rng.choice(WORDS)}_{rng.choice(WORDS)}_{n + 1:03d}.{'rar' if style else 'bin'}"
        poster = POSTERS[n % len(POSTERS)]
        total = args.parts
        data = rng.randbytes(args.part_size * total - rng.randrange(args.part_size // 2 + 1))
        step = -(-len(data) // total)
        for k in range(1, total + 1):
            chunk = data[(k - 1) * step:k * step]
            if style == 1:
                subject = f"{name} [{k}/{total}]"
                body = uu_body(chunk, name, k == 1, k == total)
            else:
                counter_text = f"({k}/{total})" if style == 0 else f"[{k:02d}/{total:02d}]"
                subject = f"\"{name}\" yEnc {counter_text}"
                body = yenc_body(chunk, name, k, total, (k - 1) * step + 1, len(data))
            counter[0] += 1
            yield subject, poster, f"{tag}.{counter[0]}@{group}", body


def texts(args, rng, group, tag, counter):
    for n in range(args.text):
        words = " ".join(rng.choice(WORDS) for _ in range(4))
        subject = f"{words} {n + 1}" if args.text_lines else f"note {n + 1}"
        body = "\r\n".join(" ".join(rng.choice(WORDS) for _ in range(9)) for _ in range(args.text_lines or 1))
        counter[0] += 1
        yield subject, POSTERS[n % len(POSTERS)], f"{tag}.{counter[0]}@{group}", body.encode()


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--group", action="append", required=True, help="newsgroup (repeat for several)")
    p.add_argument("--binaries", type=int, default=0, help="multipart binaries per group")
    p.add_argument("--parts", type=int, default=3, help="parts per binary")
    p.add_argument("--part-size", type=int, default=6000, help="bytes per part before encoding")
    p.add_argument("--text", type=int, default=0, help="text posts per group")
    p.add_argument("--text-lines", type=int, default=3, help="lines per text post (0: one line, short subject)")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--tag", default=None, help="message-id tag (default: time based)")
    p.add_argument("--out", required=True)
    args = p.parse_args()

    tag = args.tag or f"tw{int(time.time() * 1000):x}"
    rng = random.Random(args.seed)
    with open(args.out, "wb") as out:
        for group in args.group:
            counter = [0]
            minute = 0
            for subject, poster, mid, body in list(binaries(args, rng, group, tag, counter)) + list(
                texts(args, rng, group, tag, counter)
            ):
                out.write(article(group, subject, poster, mid, minute, body))
                minute += 1
            items = args.binaries + args.text
            print(f"GROUP {group} {counter[0]} {items}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
