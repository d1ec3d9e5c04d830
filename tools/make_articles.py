#!/usr/bin/env python3
"""Writes generated Usenet articles for a private news server: text posts and multipart binaries.

Binaries take turns between the subject styles posters use: yEnc with "(k/m)", uuencode with
"[k/m]" and yEnc with "[k/m]". Contents come from a seeded generator, so a run is repeatable
except for the message-ids, which carry a tag so that reposts are never refused as duplicates.

The output is a file of dot-stuffed articles, each ended by a line holding only ".", as
"tools/inn post" takes it. A summary line per group goes to stdout: GROUP name articles items;
and one per binary: FILE name bytes posted-parts/parts.

For download tests, --file posts files of the caller's (an archive set with its par2 files),
--keep writes each binary's original file, --leave-out holds back a part
(the file then stays incomplete on the server), --shuffle posts in a mixed-up order and --nzb
lists the posted parts for other downloaders.
"""

import argparse
import binascii
import os
import random
import sys
import time
import zlib
from xml.sax.saxutils import escape as xml_escape, quoteattr

POSTERS = [
    "Alice Example <alice@example.invalid>",
    "bob@example.invalid (Bob Poster)",
    "Carol <carol@example.invalid>",
    "Dave Uploader <dave@example.invalid>",
]
WORDS = ["harbour", "tide", "whelk", "shell", "reef", "sand", "dune", "kelp", "gull", "wave", "rock", "pier"]
DATE = "Mon, 07 Dec 2026 10:{:02d}:{:02d} +0000"


SHIFT = bytes((b + 42) & 0xFF for b in range(256))
# Critical bytes after the shift, in the order that keeps "=" escapes from being escaped again.
ALWAYS_ESCAPED = [(b"=", b"=}"), (b"\x00", b"=@"), (b"\n", b"=J"), (b"\r", b"=M")]
EDGE_ESCAPES = {9: b"=I", 32: b"=`", 46: b"=n"}


def yenc_lines(data, width=128, escape_dots=True):
    """yEnc lines as encoders write them: NUL, LF, CR and "=" always escaped, TAB and space at
    either end of a line and "." at its start too (unless escape_dots is false: some encoders
    leave that to the NNTP dot-stuffing); an escape pair is never split."""
    enc = data.translate(SHIFT)
    for raw, escaped in ALWAYS_ESCAPED:
        enc = enc.replace(raw, escaped)
    lines = []
    at, size = 0, len(enc)
    while at < size:
        end = min(at + width, size)
        if enc[end - 1] == 61:
            end += 1
        line = enc[at:end]
        at = end
        if line[0] in EDGE_ESCAPES and (escape_dots or line[0] != 46):
            line = EDGE_ESCAPES[line[0]] + line[1:]
        if line[-1] in (9, 32):
            line = line[:-1] + EDGE_ESCAPES[line[-1]]
        lines.append(line)
    return lines


def yenc_body(data, name, part, total, begin, size, file_crc=None, escape_dots=True):
    """One yEnc part: =ybegin/=ypart, 128-column lines, =yend with the part's CRC (and the whole
    file's on the last part)."""
    end = begin + len(data) - 1
    head = f"=ybegin part={part} total={total} line=128 size={size} name={name}\r\n"
    head += f"=ypart begin={begin} end={end}\r\n"
    crc = zlib.crc32(data) & 0xFFFFFFFF
    tail = f"=yend size={len(data)} part={part} pcrc32={crc:08x}"
    if file_crc is not None:
        tail += f" crc32={file_crc:08x}"
    lines = yenc_lines(data, escape_dots=escape_dots)
    lines.append(b"")
    return head.encode() + b"\r\n".join(lines) + tail.encode() + b"\r\n"


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
    if not body.startswith(b".") and b"\r\n." not in body:
        return body
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


def binaries(args, rng, group, tag, counter, files):
    """Yields (subject, poster, id, body) of every posted part of every binary, part 1 first, and
    appends (name, data, posted, total, ids) to files for each binary once its parts are out."""
    given = [(os.path.basename(path), open(path, "rb").read()) for path in args.file]
    for n in range(args.binaries + len(given)):
        poster = POSTERS[n % len(POSTERS)]
        if n < len(given):
            # A file of the caller's, in yEnc "(k/m)" parts of at most --part-size bytes.
            style = 0
            name, data = given[n]
            total = max(1, -(-len(data) // args.part_size))
        else:
            style = STYLES[args.encoding][n % len(STYLES[args.encoding])]
            name = f"{rng.choice(WORDS)}_{rng.choice(WORDS)}_{n + 1:03d}.{'rar' if style else 'bin'}"
            total = args.parts
            data = rng.randbytes(args.part_size * total - rng.randrange(args.part_size // 2 + 1))
        file_crc = zlib.crc32(data) & 0xFFFFFFFF
        step = -(-len(data) // total)
        posted = []
        for k in range(1, total + 1):
            chunk = data[(k - 1) * step:k * step]
            if style == 1:
                subject = f"{name} [{k}/{total}]"
                body = uu_body(chunk, name, k == 1, k == total)
            else:
                counter_text = f"({k}/{total})" if style == 0 else f"[{k:02d}/{total:02d}]"
                subject = f"\"{name}\" yEnc {counter_text}"
                body = yenc_body(chunk, name, k, total, (k - 1) * step + 1, len(data),
                                 file_crc if k == total else None, not args.unescaped_dots)
            if (n + 1, k) in args.leave_out:
                continue
            counter[0] += 1
            message_id = f"{tag}.{counter[0]}@{group}"
            posted.append((k, message_id, len(body), subject))
            yield subject, poster, message_id, body
        files.append((name, data, posted, total, poster))


def texts(args, rng, group, tag, counter):
    for n in range(args.text):
        words = " ".join(rng.choice(WORDS) for _ in range(4))
        subject = f"{words} {n + 1}" if args.text_lines else f"note {n + 1}"
        body = "\r\n".join(" ".join(rng.choice(WORDS) for _ in range(9)) for _ in range(args.text_lines or 1))
        counter[0] += 1
        yield subject, POSTERS[n % len(POSTERS)], f"{tag}.{counter[0]}@{group}", body.encode()


# Subject and encoding styles, taken in turn: 0 yEnc "(k/m)", 1 uuencode "[k/m]", 2 yEnc "[k/m]".
STYLES = {"mixed": (0, 1, 2), "yenc": (0, 2), "uu": (1,)}


def part_ref(text):
    binary, _, part = text.partition(":")
    try:
        return int(binary), int(part)
    except ValueError:
        raise argparse.ArgumentTypeError(f"expected BINARY:PART, got {text!r}")


def keep_file(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    # Two binaries of one name would make a comparison of outputs meaningless.
    with open(os.path.join(folder, name), "xb") as f:
        f.write(data)


def write_nzb(path, files, group, epoch):
    with open(path, "a", encoding="utf-8") as out:
        for _, _, posted, _, poster in files:
            out.write(f"<file poster={quoteattr(poster)} date=\"{epoch}\" subject={quoteattr(posted[0][3])}>\n"
                      f"<groups><group>{group}</group></groups>\n<segments>\n")
            for number, message_id, size, _ in posted:
                out.write(f'<segment bytes="{size}" number="{number}">{xml_escape(message_id)}</segment>\n')
            out.write("</segments>\n</file>\n")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--group", action="append", required=True, help="newsgroup (repeat for several)")
    p.add_argument("--binaries", type=int, default=0, help="multipart binaries per group")
    p.add_argument("--file", action="append", default=[],
                   help="post this file as a yEnc binary before the generated ones (repeat for several)")
    p.add_argument("--parts", type=int, default=3, help="parts per binary")
    p.add_argument("--part-size", type=int, default=6000, help="bytes per part before encoding")
    p.add_argument("--text", type=int, default=0, help="text posts per group")
    p.add_argument("--text-lines", type=int, default=3, help="lines per text post (0: one line, short subject)")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--tag", default=None, help="message-id tag (default: time based)")
    p.add_argument("--encoding", choices=sorted(STYLES), default="mixed", help="binary styles taken in turn")
    p.add_argument("--keep", metavar="DIR", help="write each binary's original file into DIR")
    p.add_argument("--leave-out", metavar="BINARY:PART", type=part_ref, action="append", default=[],
                   help="do not post that part (both counted from 1; repeat for several)")
    p.add_argument("--unescaped-dots", action="store_true",
                   help='leave a "." at a yEnc line start to the dot-stuffing, as some encoders do')
    p.add_argument("--shuffle", action="store_true", help="post the articles of a group in a mixed-up order")
    p.add_argument("--nzb", metavar="FILE", help="write an NZB listing the posted parts of the binaries")
    p.add_argument("--out", required=True)
    args = p.parse_args()
    args.leave_out = set(args.leave_out)

    tag = args.tag or f"tw{int(time.time() * 1000):x}"
    rng = random.Random(args.seed)
    # Its own generator, so the order changes nothing of what is posted.
    order = random.Random(args.seed + 1)
    if args.nzb:
        with open(args.nzb, "w", encoding="utf-8") as nzb:
            nzb.write('<?xml version="1.0" encoding="utf-8"?>\n'
                      '<nzb xmlns="http://www.newzbin.com/DTD/2003/nzb">\n')
    with open(args.out, "wb") as out:
        for group in args.group:
            counter = [0]
            files = []
            posts = binaries(args, rng, group, tag, counter, files)
            if args.shuffle:
                posts = list(posts) + list(texts(args, rng, group, tag, counter))
                order.shuffle(posts)
            for minute, (subject, poster, mid, body) in enumerate(posts):
                out.write(article(group, subject, poster, mid, minute, body))
            if not args.shuffle:
                for minute, (subject, poster, mid, body) in enumerate(texts(args, rng, group, tag, counter),
                                                                       start=counter[0]):
                    out.write(article(group, subject, poster, mid, minute, body))
            for name, data, posted, total, _ in files:
                if args.keep:
                    keep_file(args.keep, name, data)
                print(f"FILE {name} {len(data)} {len(posted)}/{total}")
            if args.nzb:
                write_nzb(args.nzb, files, group, 1796637600)
            items = args.binaries + len(args.file) + args.text
            print(f"GROUP {group} {counter[0]} {items}")
    if args.nzb:
        with open(args.nzb, "a", encoding="utf-8") as nzb:
            nzb.write("</nzb>\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
