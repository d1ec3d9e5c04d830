#!/usr/bin/env bash
# Starts two private INN instances (one open, one with AUTHINFO), posts a text post and a
# two-part binary, and reads them back as a reader would. Exit 77 when INN cannot be had.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
INN=$ROOT/tools/inn
started=$(date +%s)

skip() {
    echo "SKIP: $*"
    exit 77
}

[ "$(id -u)" -eq 0 ] || skip "the INN smoke test runs as root (innd is started as user news)"
"$INN" install >/tmp/tw_inn_install.log 2>&1 || skip "inn2 is not installed and could not be (see /tmp/tw_inn_install.log)"

open_dir=$(mktemp -d /tmp/twinn.XXXXXX)
auth_dir=$(mktemp -d /tmp/twinn.XXXXXX)
cleanup() {
    "$INN" stop "$open_dir" >/dev/null 2>&1 || true
    "$INN" stop "$auth_dir" >/dev/null 2>&1 || true
    rm -rf "$open_dir" "$auth_dir"
}
trap cleanup EXIT

port=$("$INN" start "$open_dir" | sed -n 's/^PORT=//p')
auth_port=$(TW_INN_AUTH=smoke:pa55 "$INN" start "$auth_dir" alt.binaries.test | sed -n 's/^PORT=//p')
if [ -z "$port" ] || [ -z "$auth_port" ] || [ "$port" = "$auth_port" ]; then
    echo "FAIL: start did not report two ports ($port, $auth_port)"
    exit 1
fi
[ "$(cat "$open_dir/port")" = "$port" ] || { echo "FAIL: DIR/port differs from PORT="; exit 1; }

articles=$open_dir/articles.txt
{
    printf '%s\r\n' "Newsgroups: alt.binaries.test" "From: Smoke <smoke@example.invalid>" \
        "Subject: plain text post" "Message-ID: <text.1@smoke.invalid>" \
        "Date: Sat, 01 Jan 2000 00:00:00 GMT" "" "first line" "..a stuffed dot line" "."
    for n in 1 2; do
        printf '%s\r\n' "Newsgroups: alt.binaries.test" "From: Smoke <smoke@example.invalid>" \
            "Subject: smoke.bin ($n/2)" "Message-ID: <bin.$n@smoke.invalid>" \
            "Date: Sat, 01 Jan 2000 00:00:0$n GMT" "" "begin 644 smoke.bin" "part $n" "."
    done
} >"$articles"
"$INN" post "$open_dir" "$articles" | grep -qx "3 of 3 articles accepted" || {
    echo "FAIL: posting"
    exit 1
}
# Reposted message-ids are refused, and post says so.
if "$INN" post "$open_dir" "$articles" >/dev/null 2>&1; then
    echo "FAIL: duplicate articles were reported as accepted"
    exit 1
fi
"$INN" post "$auth_dir" "$articles" >/dev/null
"$INN" newgroup "$open_dir" alt.binaries.smoke.new

python3 - "$port" "$auth_port" <<'EOF'
import socket
import sys


class Reader:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.file = self.sock.makefile("rb")
        self.greeting = self.line()

    def line(self):
        return self.file.readline().decode("latin-1").rstrip("\r\n")

    def ask(self, command):
        self.sock.sendall(command.encode() + b"\r\n")
        return self.line()

    def body(self):
        lines = []
        while (line := self.line()) != ".":
            lines.append(line)
        return lines


def check(what, got, want):
    if got != want:
        sys.exit(f"FAIL: {what}: got {got!r}, want {want!r}")


port, auth_port = int(sys.argv[1]), int(sys.argv[2])
r = Reader(port)
check("greeting", r.greeting[:4], "200 ")
check("MODE READER", r.ask("MODE READER")[:4], "200 ")
check("GROUP", r.ask("GROUP alt.binaries.test"), "211 3 1 3 alt.binaries.test")
check("XOVER status", r.ask("XOVER 1-10")[:4], "224 ")
fields = [line.split("\t") for line in r.body()]
check("XOVER numbers", [f[0] for f in fields], ["1", "2", "3"])
check("XOVER subjects", [f[1] for f in fields],
      ["plain text post", "smoke.bin (1/2)", "smoke.bin (2/2)"])
check("XOVER message-ids", [f[4] for f in fields],
      ["<text.1@smoke.invalid>", "<bin.1@smoke.invalid>", "<bin.2@smoke.invalid>"])
check("XOVER from", {f[2] for f in fields}, {"Smoke <smoke@example.invalid>"})
check("ARTICLE", r.ask("ARTICLE 1")[:4], "220 ")
article = r.body()
check("dot-stuffed body", article[article.index("") + 1:], ["first line", "..a stuffed dot line"])
check("new group", r.ask("GROUP alt.binaries.smoke.new"), "211 0 1 0 alt.binaries.smoke.new")
check("QUIT", r.ask("QUIT")[:4], "205 ")

a = Reader(auth_port)
check("auth greeting", a.greeting[:4], "200 ")
check("GROUP before login", a.ask("GROUP alt.binaries.test")[:4], "480 ")
check("AUTHINFO USER", a.ask("AUTHINFO USER smoke")[:4], "381 ")
check("AUTHINFO PASS", a.ask("AUTHINFO PASS pa55")[:4], "281 ")
check("GROUP after login", a.ask("GROUP alt.binaries.test"), "211 3 1 3 alt.binaries.test")
b = Reader(auth_port)
b.ask("AUTHINFO USER smoke")
check("wrong password", b.ask("AUTHINFO PASS wrong")[:4], "481 ")
EOF

innds="$(cat "$open_dir/innd.pid") $(cat "$auth_dir/innd.pid")"
"$INN" stop "$open_dir" &
"$INN" stop "$auth_dir" &
wait
for pid in $innds; do
    if kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: innd $pid still runs after stop"
        exit 1
    fi
done
echo "PASS: INN smoke test in $(($(date +%s) - started)) s"
