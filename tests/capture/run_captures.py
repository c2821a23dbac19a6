#!/usr/bin/env python3
"""Captures real client sessions against rqsim and checks how the Wireshark dissector
decodes them.

Each session runs a client (rqshell with a script and console answers, or one rqtool
command) through pcap_relay.Relay into rqsim, then decodes the capture with
`tshark -X lua_script:contrib/wireshark/rq.lua -T pdml` and compares the decoded fields
with what the session did: the commands in order, the status texts the client printed,
chunk counts and their bytes, the listing entries the client printed.

A session is one entry of SESSIONS; its `client` builds the client's command line.
Without --rqtool the rqtool sessions are left out.

Exit status: 0 when every session passes, 77 when tshark is missing (ctest counts that as
skipped; with RQ_REQUIRE_TSHARK=1 it is a failure), 1 otherwise.
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import types
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pcap_relay import PROXY, SHELL, PcapWriter, Relay, Segmenter  # noqa: E402

SKIP = 77

# Segment lengths cycled by the relay. MIXED cuts frames into pieces of 1 to 11 bytes,
# spreads chunks over several segments and packs several frames into one; WHOLE leaves
# every run of frames from one side in one segment, so each segment starts a frame.
MIXED = [1, 3, 7, 5000, 65000, 2, 16388, 11, 12, 40000]
WHOLE = [65000]
# No segment holds a whole chunk: every chunk is put together from several.
SPLIT = [1, 3, 7, 5000, 2, 4093, 11]


def file_bytes(size, seed):
    return bytes((i * 131 + seed + (i >> 9)) & 0xFF for i in range(size))


class Pdu:
    """One decoded frame: its fields by name, each with every value in order."""

    def __init__(self, packet, tcp_len):
        self.packet = packet
        self.tcp_len = tcp_len
        self.fields = {}

    def add(self, name, show, value):
        self.fields.setdefault(name, []).append((show, value))

    def get(self, name, default=None):
        v = self.fields.get(name)
        return v[0][0] if v else default

    def all(self, name):
        return [show for show, _ in self.fields.get(name, [])]

    def raw(self, name):
        v = self.fields.get(name)
        return bytes.fromhex(v[0][1]) if v else b""

    def __repr__(self):
        return "#%d %s %s %s" % (self.packet, self.get("rq.kind"), self.get("rq.exchange", ""),
                                 self.get("rq.cmd", ""))


def decode(tshark, dissector, pcap, extra=(), two_pass=True):
    cmd = [tshark, "-n", *(["-2"] if two_pass else []), "-X", "lua_script:" + dissector, "-r", pcap,
           "-T", "pdml", *extra]
    run = subprocess.run(cmd, capture_output=True, timeout=120)
    if run.returncode != 0:
        raise RuntimeError("tshark failed: " + run.stderr.decode(errors="replace"))
    errors = [line for line in run.stderr.decode(errors="replace").splitlines()
              if "Lua" in line or "rq.lua" in line]
    if errors:
        raise RuntimeError("tshark reported Lua errors: " + "\n".join(errors))
    pdus = []
    for packet in ET.fromstring(run.stdout).iter("packet"):
        number, tcp_len = 0, 0
        for field in packet.iter("field"):
            if field.get("name") == "frame.number":
                number = int(field.get("show"))
            elif field.get("name") == "tcp.len":
                tcp_len = int(field.get("show"))
            elif field.get("name") in ("_ws.lua.error", "_ws.malformed"):
                raise RuntimeError("frame %d: %s" % (number, field.get("showname")))
        for proto in packet.iter("proto"):
            if proto.get("name") != "rq":
                continue
            pdu = Pdu(number, tcp_len)
            for field in proto.iter("field"):
                pdu.add(field.get("name"), field.get("show"), field.get("value") or "")
            pdus.append(pdu)
    return pdus


def decode_commands_one_pass(tshark, dissector, pcap):
    """rq.cmd of every command message, from tshark's single pass, as a user runs it."""
    cmd = [tshark, "-n", "-X", "lua_script:" + dissector, "-r", pcap, "-Y", "rq.kind == command",
           "-T", "fields", "-E", "occurrence=a", "-E", "aggregator=/", "-e", "rq.cmd",
           "-e", "rq.test"]
    run = subprocess.run(cmd, capture_output=True, text=True, timeout=120)
    if run.returncode != 0:
        raise RuntimeError("tshark failed: " + run.stderr)
    out = []
    for line in run.stdout.splitlines():
        names, tests = line.split("\t")
        tests = iter(tests.split("/"))
        out += [n + " " + next(tests) if n == "diag" else n for n in names.split("/")]
    return out


def drop_packets(src, dst, count):
    """Copies a pcap without its first `count` packets: a capture started late."""
    data = open(src, "rb").read()
    out, at, n = bytearray(data[:24]), 24, 0
    while at < len(data):
        length = struct.unpack("<IIII", data[at:at + 16])[2]
        if n >= count:
            out += data[at:at + 16 + length]
        at += 16 + length
        n += 1
    open(dst, "wb").write(out)


class Checker:
    def __init__(self, name):
        self.name = name
        self.failures = []

    def eq(self, what, got, want):
        if got != want:
            self.failures.append("%s: got %r, want %r" % (what, got, want))

    def true(self, what, ok):
        if not ok:
            self.failures.append(what)


def kinds(pdus, kind, exchange=None):
    return [p for p in pdus
            if p.get("rq.kind") == kind and (exchange is None or p.get("rq.exchange") == exchange)]


def commands(pdus, boots=True):
    out = []
    for p in kinds(pdus, "command"):
        name = p.get("rq.cmd")
        if name == "diag":
            name += " " + p.get("rq.test")
        elif name in ("rb", "wb") and boots:
            name += " " + p.get("rq.boot")
        out.append(name)
    return out


def shell_errors(stdout):
    """The status texts of the shell's failure reports, in order."""
    return re.findall(r"^ERROR: (.*) $", stdout, re.M)


def shell_listings(stdout):
    """Each directory listing the shell printed, as [(type, name), ...]."""
    listings = []
    for line in stdout.splitlines():
        line = line.removeprefix("> ")
        if re.match(r".* contains -?\d+ files$", line):
            listings.append([])
        m = re.match(r"^\d+ (Dir|File) (.*) $", line)
        if m:
            listings[-1].append((m.group(1), m.group(2)))
    return listings


def decoded_listings(pdus):
    out = []
    for p in kinds(pdus, "listing"):
        if p.get("rq.ls.form") != "directory":
            continue
        types = {"1": "Dir", "2": "File"}
        out.append([(types[t], n) for t, n in zip(p.all("rq.ls.type"), p.all("rq.ls.entry"))])
    return out


def check_chunks(ck, pdus, exchange, data, count, direction):
    chunks = kinds(pdus, "chunk", exchange)
    ck.eq(exchange + " chunk numbers", [p.get("rq.chunk") for p in chunks],
          [str(i) for i in range(count)])
    ck.eq(exchange + " chunk directions", {p.get("rq.dir") for p in chunks}, {direction})
    # Only the shell's own chunking is known ahead; the proxy's ends when the size is in.
    known = direction == "shell to proxy"
    ck.eq(exchange + " chunks of", {p.get("rq.chunks") for p in chunks},
          {str(count) if known else None})
    offsets, at = [], 0
    for p in chunks:
        offsets.append(at)
        at += int(p.get("rq.length"))
    ck.eq(exchange + " offsets", [int(p.get("rq.offset")) for p in chunks], offsets)
    ck.true(exchange + ": the chunks' bytes are not the file's",
            b"".join(p.raw("rq.data") for p in chunks) == data)
    return chunks


# ---- Sessions --------------------------------------------------------------------------

BIG = file_bytes(40000, 1)    # put and get: 3 chunks, 2 grants
BOOT = file_bytes(20000, 2)   # wb 1: 16384 + 3616; wb 2 with reduction 512: 15872 + 4128

EVERY_COMMAND_SCRIPT = """\
ping
pwd
ver
ls
ls /docs/readme.txt
mkdir /up
cd /up
put {work}/big.bin big.bin
get big.bin {work}/back.bin
mv big.bin moved.bin
cp moved.bin copy.bin
ls
rm copy.bin
launch /bin/hello.elf
wb 1 {work}/boot.bin
wb 2 {work}/boot.bin
rb 2 {work}/boot2.bin
diag usb
diag rtc
diag flash
diag gba
diag aud
format
q
"""


def check_every_command(ck, pdus, ctx):
    run, work = ctx.run, ctx.work
    ck.eq("commands in order", commands(pdus), [
        "ping", "ping", "pwd", "ver", "ls", "ls", "mkdir", "cd", "put", "get", "mv", "cp", "ls",
        "rm", "launch", "wb 1", "wb 2", "rb 2", "diag usb", "diag rtc", "diag flash", "diag gba",
        "diag aud", "format"])
    one_pass = decode_commands_one_pass(ctx.tshark, ctx.dissector, ctx.pcap)
    ck.eq("commands, tshark in one pass", one_pass, commands(pdus, boots=False))
    ck.eq("no guesses", [p for p in pdus if p.get("rq.guess")], [])
    ck.eq("no expert warnings", [p for p in pdus if "rq.unexpected" in p.fields
                                 or "rq.sequence" in p.fields], [])
    ck.eq("shell failures", shell_errors(run.stdout), [])

    # The start-up ping goes out without a ready; every later command message has one.
    first = pdus.index(kinds(pdus, "command")[0])
    ck.eq("first frame", pdus[0].get("rq.cmd"), "ping")
    ck.eq("ping replies", [p.get("rq.value") for p in kinds(pdus, "status", "ping")], ["1", "2"])
    ck.true("first frame is the no-wait ping", first == 0)

    pwd = kinds(pdus, "text", "pwd")
    ck.eq("pwd text", [p.get("rq.text") for p in pwd], ["/"])
    ver = kinds(pdus, "text", "ver")
    printed = re.search(r"DX shell built at (.*)\n", run.stdout)
    ck.eq("ver text", [p.get("rq.text") for p in ver], [printed.group(1) if printed else None])

    ck.eq("listings", decoded_listings(pdus), shell_listings(run.stdout))
    files = [p for p in kinds(pdus, "listing") if p.get("rq.ls.form") == "file"]
    ck.eq("file record size", [p.get("rq.ls.size") for p in files],
          [re.search(r"/docs/readme.txt (\d+)Bytes", run.stdout).group(1)])
    paths = [p.get("rq.path") for p in pdus if p.get("rq.kind") in ("path", "name")]
    ck.eq("paths", paths, ["", "/docs/readme.txt", "/up", "/up", "big.bin", "", "copy.bin",
                           "/bin/hello.elf"])
    names = kinds(pdus, "names")
    ck.eq("mv/cp names", [(p.get("rq.exchange"), p.get("rq.from"), p.get("rq.to")) for p in names],
          [("mv", "big.bin", "moved.bin"), ("cp", "moved.bin", "copy.bin")])

    payload = kinds(pdus, "put payload", "put")
    ck.eq("put payload", [(p.get("rq.file_size"), p.get("rq.path")) for p in payload],
          [("40000", "big.bin")])
    put = check_chunks(ck, pdus, "put", BIG, 3, "shell to proxy")
    ck.eq("put grants", [p.get("rq.role") for p in kinds(pdus, "grant", "put")],
          ["for chunks 0 and 1", "for chunk 2"])
    get = check_chunks(ck, pdus, "get", open(os.path.join(work, "back.bin"), "rb").read(), 3,
                       "proxy to shell")
    ck.true("get wrote the file put sent", open(os.path.join(work, "back.bin"), "rb").read() == BIG)
    big = [p for p in put + get if int(p.get("rq.length")) > p.tcp_len]
    ck.true("some put and get chunks span several segments", len(big) >= 2)
    ck.true("some packets carry several frames",
            any(a.packet == b.packet for a, b in zip(pdus, pdus[1:])))

    wb1 = check_chunks(ck, pdus, "wb 1", BOOT, 2, "shell to proxy")
    ck.eq("wb 1 chunk lengths", [p.get("rq.length") for p in wb1], ["16384", "3616"])
    wb2 = check_chunks(ck, pdus, "wb 2", BOOT, 2, "shell to proxy")
    ck.eq("wb 2 chunk lengths", [p.get("rq.length") for p in wb2], ["15872", "4128"])
    ck.eq("wb 2 reduction", [p.get("rq.reduction") for p in kinds(pdus, "status", "wb 2")],
          ["512"])
    check_chunks(ck, pdus, "rb 2", BOOT, 2, "proxy to shell")
    ck.eq("rb 2 statuses", [p.get("rq.role") for p in kinds(pdus, "status", "rb 2")],
          ["status with the image size", "status after chunk 0"])

    ck.eq("audio answers", [(p.get("rq.cmd"), p.get("rq.stage")) for p in kinds(pdus, "answer")],
          [("go", "tone"), ("go", "record"), ("go", "playback")])
    ck.eq("audio statuses", [p.get("rq.role") for p in kinds(pdus, "status", "diag aud")],
          ["status after the tones", "status after the recording", "status after the playback",
           "final status"])


FAILURES_SCRIPT = """\
ls /docs
put {work}/big.bin x.bin
get /docs/readme.txt {work}/r.txt
diag rtc
mkdir /new
ping
q
"""


def check_failures(ck, pdus, ctx):
    run = ctx.run
    ck.eq("commands in order", commands(pdus),
          ["ping", "ls", "put", "get", "diag rtc", "mkdir", "ping"])
    failed = [p for p in pdus if p.get("rq.status") not in (None, "0")]
    ck.eq("failure texts, as the shell printed them", [p.get("rq.status_text") for p in failed],
          shell_errors(run.stdout))
    ck.eq("what failed", [(p.get("rq.exchange"), p.get("rq.kind"), p.get("rq.status"))
                          for p in failed],
          [("ls", "ready", "3"), ("put", "grant", "8"), ("get", "status", "9"),
           ("diag rtc", "status", "100"), ("mkdir", "status", "-1")])
    ck.eq("refused flags", [p.get("rq.refused") for p in failed[:2]], ["1", "1"])
    ck.eq("put sent no data after the refused grant", kinds(pdus, "chunk", "put"), [])
    ck.eq("ping still in step", [p.get("rq.value") for p in kinds(pdus, "status", "ping")],
          ["1", "2"])
    ck.true("failures carry expert info", all("rq.failure" in p.fields for p in failed))


AUDIO_SCRIPT = "diag aud\ndiag aud\nping\nq\n"


def check_audio(ck, pdus, ctx):
    run, work = ctx.run, ctx.work
    # Cancel at the tone prompt, then "no": the status still comes, the record prompt's
    # ready is left for the next command. Then go, yes, and a cancel at the record prompt.
    ck.eq("commands in order", commands(pdus), ["ping", "diag aud", "diag aud", "ping"])
    ck.eq("answers", [(p.get("rq.cmd"), p.get("rq.stage")) for p in kinds(pdus, "answer")],
          [("cancel", "tone"), ("go", "tone"), ("cancel", "record")])
    ck.eq("audio statuses", [p.get("rq.role") for p in kinds(pdus, "status", "diag aud")],
          ["status after the tones", "status after the tones"])
    ck.true("the shell printed CANCELED twice", run.stdout.count("AUDIO TEST CANCELED") == 2)
    taken = [p for p in kinds(pdus, "ready") if "audio test had ended" in (p.get("rq.role") or "")]
    ck.eq("the record prompt's ready taken by the next command", len(taken), 1)
    ck.eq("no warnings", [p for p in pdus if "rq.unexpected" in p.fields
                          or "rq.sequence" in p.fields], [])


ODD_VALUES_SCRIPT = "wb 2 {work}/boot.bin\npwd\nping\nq\n"


def check_odd_values(ck, pdus, ctx):
    # A negative reduction leaves no first chunk: no data follows. A 20000-byte frame in
    # place of pwd's status is skipped by the shell; both sides stay in step after it.
    ck.eq("commands in order", commands(pdus), ["ping", "wb 2", "pwd", "ping"])
    ck.eq("reduction", [p.get("rq.reduction") for p in kinds(pdus, "status", "wb 2")], ["-5"])
    ck.eq("no wb data", kinds(pdus, "chunk"), [])
    ck.true("the unusable reduction is flagged",
            all("rq.malformed" in p.fields for p in kinds(pdus, "status", "wb 2")))
    big = [p for p in pdus if p.get("rq.length") == "20000"]
    ck.eq("the oversize frame is flagged", [("rq.oversize" in p.fields, p.get("rq.exchange"))
                                            for p in big], [(True, "pwd")])
    ck.eq("ping still in step", [p.get("rq.value") for p in kinds(pdus, "status", "ping")],
          ["1", "2"])


def frame(payload, markers=b"Ag"):
    return markers + struct.pack(">H", len(payload)) + payload


def message(code, value, sub=0):
    return struct.pack("<BBHi", code, sub, 0, value)


# Written straight into a pcap: a proxy no program here imitates. The shell reads frames
# by their length alone, so frames with other markers still count.
BAD_MARKERS_FRAMES = [
    (SHELL, frame(message(1, 0), markers=b"XY")),
    (PROXY, frame(message(0, 1)) + frame(message(0, 0), markers=b"Ax")),
    (SHELL, frame(message(4, 0))),
    (PROXY, frame(message(0, 2), markers=b"gA") + frame(b"/up\0")),
]


def check_bad_markers(ck, pdus, ctx):
    ck.eq("frames", [(p.get("rq.kind"), p.get("rq.exchange") or p.get("rq.cmd")) for p in pdus],
          [("command", "ping"), ("status", "ping"), ("ready", None), ("command", "pwd"),
           ("status", "pwd"), ("text", "pwd")])
    ck.eq("flagged markers", ["rq.bad_markers" in p.fields for p in pdus],
          [True, False, True, False, True, False])
    ck.eq("pwd text", [p.get("rq.text") for p in kinds(pdus, "text")], ["/up"])


# A proxy that sends its ready before the shell's first command, so the shell sends no
# opening ping; and a seven-letter path, whose frame is as long as a message.
PROXY_FIRST_FRAMES = [
    (PROXY, frame(message(0, 0))),
    (SHELL, frame(message(5, 8))),
    (PROXY, frame(message(0, 0))),
    (SHELL, frame(b"abcdefg\0")),
    (PROXY, frame(message(9, 0)) + frame(message(0, 0))),
    (SHELL, frame(message(4, 0))),
    (PROXY, frame(message(0, 2)) + frame(b"/\0")),
]


def check_proxy_first(ck, pdus, ctx):
    want = [("ready", None), ("command", "cd"), ("ready", "cd"), ("path", "cd"),
            ("status", "cd"), ("ready", None), ("command", "pwd"), ("status", "pwd"),
            ("text", "pwd")]
    ck.eq("frames", [(p.get("rq.kind"), p.get("rq.exchange") or p.get("rq.cmd")) for p in pdus],
          want)
    ck.eq("no guesses", [p for p in pdus if p.get("rq.guess")], [])
    ck.eq("path", [p.get("rq.path") for p in kinds(pdus, "path")], ["abcdefg"])
    ck.eq("status text", [p.get("rq.status_text") for p in kinds(pdus, "status", "cd")],
          ["file does not exist"])
    # tshark -2 builds no TCP fields on its first pass, so the handshake is not known
    # there: the ready ahead of the first command is a guess, the rest is followed.
    two = decode(ctx.tshark, ctx.dissector, ctx.pcap)
    ck.eq("two passes: frames", [(p.get("rq.kind"), p.get("rq.exchange") or p.get("rq.cmd"))
                                 for p in two], [("ready or status", None)] + want[1:])
    ck.eq("two passes: guesses", [p.get("rq.guess") for p in two][:3], ["1", "1", None])


def exchange(cmd, *steps):
    """Frames of one exchange: the ready and command message, then (side, payload) steps."""
    out = [(PROXY, frame(message(0, 0))), (SHELL, frame(cmd))]
    return out + [(side, frame(payload)) for side, payload in steps]


READY, OK = message(0, 0), message(0, 0)

# Short, empty and inconsistent payloads in every place a proxy or shell could put them.
# Each exchange ends where the shell would take it as ended, so the next one is in step.
ODD_PAYLOAD_FRAMES = (
    exchange(message(3, 1), (PROXY, READY), (SHELL, b""), (PROXY, message(0, 5)), (PROXY, b""))
    + exchange(message(3, 1), (PROXY, READY), (SHELL, b"\0"), (PROXY, message(0, 3)),
               (PROXY, b"abc"))
    + exchange(message(3, 2), (PROXY, READY), (SHELL, b"f\0"), (PROXY, OK),
               (PROXY, b"F" + bytes(10)))
    + exchange(message(3, 1), (PROXY, READY), (SHELL, b"\0"), (PROXY, OK),
               (PROXY, b"D\0\0\0" + struct.pack("<i", 5) + b"a\0b\x01\x02"))
    + exchange(message(8, 0), (PROXY, READY), (SHELL, b""), (PROXY, OK))
    + exchange(message(12, 2), (PROXY, READY), (SHELL, b"a\0"), (PROXY, OK))
    + exchange(message(9, 2), (PROXY, READY), (SHELL, b"\1\0"), (PROXY, OK))
    + exchange(message(9, 4), (PROXY, READY), (SHELL, struct.pack("<i", 3)), (PROXY, READY),
               (SHELL, b"xyz"), (PROXY, OK))
    + exchange(message(10, 2), (PROXY, READY), (SHELL, b"g\0"), (PROXY, message(0, 10)),
               (PROXY, b""), (PROXY, bytes(10)))
    + exchange(message(4, 0), (PROXY, OK), (PROXY, b""))
    + exchange(message(13, 0), (PROXY, b"\0\0\0"))
    + exchange(message(1, 7), (PROXY, message(0, 3)))
    + exchange(message(0x77, 0), (PROXY, message(5, 0)))
    + exchange(message(0x31, 3, sub=1), (PROXY, READY), (SHELL, b"abc"))
    + exchange(message(4, 0), (PROXY, message(0, 3)), (PROXY, b"/a\0"))
)


def check_odd_payloads(ck, pdus, ctx):
    ck.eq("commands in order", commands(pdus),
          ["ls", "ls", "ls", "ls", "mv", "cp", "put", "put", "get", "pwd", "ver", "ping", "0x77",
           "wb 1", "pwd"])
    flagged = sorted({(p.get("rq.exchange") or p.get("rq.cmd"), name) for p in pdus
                      for name in ("rq.malformed", "rq.unexpected", "rq.sequence")
                      if name in p.fields})
    ck.eq("flagged", flagged, [
        ("0x77", "rq.unexpected"), ("cp", "rq.malformed"), ("get", "rq.malformed"),
        ("ls", "rq.malformed"), ("mv", "rq.malformed"), ("ping", "rq.sequence"),
        ("put", "rq.malformed"), ("ver", "rq.unexpected")])
    ck.eq("the listing entries up to the count's end",
          [(p.all("rq.ls.entry"), p.get("rq.ls.count")) for p in kinds(pdus, "listing")
           if p.get("rq.ls.form") == "directory" and p.get("rq.ls.count") == "5"],
          [(["a", ""], "5")])
    ck.eq("put with a 3-byte file", [p.get("rq.chunks") for p in kinds(pdus, "chunk", "put")],
          ["1"])
    ck.eq("wb 1 of 3 bytes ended with its chunk", [p.get("rq.kind") for p in pdus[-6:]],
          ["ready", "chunk", "ready", "command", "status", "text"])
    ck.eq("last text", [p.get("rq.text") for p in kinds(pdus, "text")][-1:], ["/a"])


SMALL_SCRIPT = "pwd\nls\ncd /docs\nls readme.txt\nping\nq\n"


def check_decode_as(ck, pdus, ctx):
    run = ctx.run
    ck.eq("commands in order", commands(pdus), ["ping", "pwd", "ls", "cd", "ls", "ping"])
    ck.eq("listings", decoded_listings(pdus), shell_listings(run.stdout))


def check_late_start(ck, pdus, ctx):
    # The capture starts after the first ls's status: the listing, the ready and the cd's
    # frames before its command message cannot be placed, and are flagged as guesses.
    first_command = next(i for i, p in enumerate(pdus) if p.get("rq.kind") == "command")
    ck.true("frames ahead of the first command are guesses",
            first_command > 0 and all(p.get("rq.guess") == "1" for p in pdus[:first_command + 1]))
    ck.eq("no guesses after it", [p for p in pdus[first_command + 1:] if p.get("rq.guess")], [])
    ck.eq("commands from there on", commands(pdus), ["cd", "ls", "ping"])
    ck.eq("the file record decoded", [p.get("rq.ls.form") for p in kinds(pdus, "listing")],
          ["file"])


def tool_errors(stderr):
    """The status texts of rqtool's failure lines, in order."""
    return re.findall(r"^rqtool: .*: (.*) \(status -?\d+\)$", stderr, re.M)


def tool_listing(stdout):
    """rqtool's ls lines as [(type, name), ...]: a directory's name ends in /."""
    return [("Dir", line[:-1]) if line.endswith("/") else ("File", line)
            for line in stdout.splitlines()]


# A single put or get lists its destination (or its source) first, to learn whether it is
# a directory, as cp's rules for the destination need.
def check_tool_common(ck, pdus, command):
    ck.eq("commands in order", commands(pdus),
          ["ping", command] if command == "ls" else ["ping", "ls", command])
    ck.eq("no guesses", [p for p in pdus if p.get("rq.guess")], [])
    ck.eq("no expert warnings", [p for p in pdus if "rq.unexpected" in p.fields
                                 or "rq.sequence" in p.fields], [])
    ck.eq("ping replies", [p.get("rq.value") for p in kinds(pdus, "status", "ping")], ["1"])


def check_spans_segments(ck, chunks):
    ck.eq("chunks decoded in a segment shorter than the chunk",
          [int(p.get("rq.length")) > p.tcp_len for p in chunks], [True] * len(chunks))


def check_tool_ls(ck, pdus, ctx):
    check_tool_common(ck, pdus, "ls")
    ck.eq("path", [p.get("rq.path") for p in kinds(pdus, "path")], ["/"])
    ck.eq("listings", decoded_listings(pdus), [tool_listing(ctx.run.stdout)])
    ck.true("the listing is not empty", tool_listing(ctx.run.stdout) != [])


def check_tool_put(ck, pdus, ctx):
    check_tool_common(ck, pdus, "put")
    ck.eq("put payload", [(p.get("rq.file_size"), p.get("rq.path"))
                          for p in kinds(pdus, "put payload", "put")], [("40000", "/big.bin")])
    check_spans_segments(ck, check_chunks(ck, pdus, "put", BIG, 3, "shell to proxy"))
    ck.eq("put grants", [p.get("rq.role") for p in kinds(pdus, "grant", "put")],
          ["for chunks 0 and 1", "for chunk 2"])
    ck.true("the device holds the file put sent",
            open(os.path.join(ctx.work, "root", "big.bin"), "rb").read() == BIG)


def check_tool_get(ck, pdus, ctx):
    check_tool_common(ck, pdus, "get")
    ck.eq("path", [p.get("rq.path") for p in pdus if p.get("rq.kind") in ("path", "name")],
          ["/big.bin", "/big.bin"])
    check_spans_segments(ck, check_chunks(ck, pdus, "get", BIG, 3, "proxy to shell"))
    ck.true("get wrote the device's file",
            open(os.path.join(ctx.work, "back.bin"), "rb").read() == BIG)


def check_tool_failure(exchange, kind, status, refused):
    """A check for a session whose one command fails at exchange's frame of this kind."""

    def check(ck, pdus, ctx):
        check_tool_common(ck, pdus, exchange)
        failed = [p for p in pdus if p.get("rq.status") not in (None, "0")
                  and p.get("rq.exchange") == exchange]
        ck.eq("what failed", [(p.get("rq.exchange"), p.get("rq.kind"), p.get("rq.status"))
                              for p in failed], [(exchange, kind, status)])
        ck.eq("refused flag", [p.get("rq.refused") for p in failed], [refused])
        ck.eq("failure text, as rqtool printed it", [p.get("rq.status_text") for p in failed],
              tool_errors(ctx.run.stderr))
        ck.true("failures carry expert info", all("rq.failure" in p.fields for p in failed))
        ck.eq("no data after the failure", kinds(pdus, "chunk"), [])
        ck.eq("no local file left", sorted(os.listdir(ctx.work)),
              sorted(["big.bin", "boot.bin", os.path.basename(ctx.pcap), "root", "root.boot",
                      "session.rq"]))

    return check


def rqtool_client(*command):
    return lambda args, script, port: [args.rqtool, "-p", str(port), *command]


# Each session: rqsim's options, the relay's segment pattern, the client's script and
# console input, and the check of the decoded capture. `client` (default rqshell_client)
# builds the client's command line from the parsed arguments, the script's path and the
# relay's port; `status` is the client's expected exit status (default 0) and
# `root_files` what the device holds at the start, in place of --demo's files. `frames`
# instead writes the listed frames straight into the capture, for peers that no program
# here imitates.
SESSIONS = [
    dict(name="every-command", sim=["--demo", "--reduction", "512"], pattern=MIXED,
         script=EVERY_COMMAND_SCRIPT, stdin="y\na\ny\nr\np\ny\n", check=check_every_command),
    dict(name="failures", sim=["--demo", "--refuse", "ls:2=3", "--refuse", "put:3=8",
                               "--status", "get=9", "--diag-status", "rtc=100",
                               "--status", "mkdir=255"],
         pattern=MIXED, script=FAILURES_SCRIPT, stdin="", check=check_failures),
    dict(name="audio-cancel", sim=["--demo"], pattern=MIXED, script=AUDIO_SCRIPT,
         stdin="c\nn\na\ny\nc\n", check=check_audio),
    dict(name="odd-values", sim=["--demo", "--reduction", "-5", "--oversize", "pwd"],
         pattern=MIXED, script=ODD_VALUES_SCRIPT, stdin="", check=check_odd_values),
    dict(name="bad-markers", frames=BAD_MARKERS_FRAMES, pattern=MIXED, check=check_bad_markers),
    dict(name="proxy-first", frames=PROXY_FIRST_FRAMES, pattern=[3, 5], one_pass=True,
         check=check_proxy_first),
    dict(name="odd-payloads", frames=ODD_PAYLOAD_FRAMES, pattern=WHOLE,
         check=check_odd_payloads),
    dict(name="decode-as", sim=["--demo"], pattern=WHOLE, script=SMALL_SCRIPT, stdin="",
         server_port=30025, decode=["-d", "tcp.port==30025,rq"], check=check_decode_as,
         # The same capture without its handshake and first ls: it starts with the
         # packet that holds that ls's status and listing.
         late_start=dict(drop=10, check=check_late_start)),
    dict(name="rqtool-ls", sim=["--demo"], pattern=MIXED, client=rqtool_client("ls", "/"),
         check=check_tool_ls),
    dict(name="rqtool-put", sim=[], pattern=SPLIT,
         client=rqtool_client("put", "big.bin", "/big.bin"), check=check_tool_put),
    dict(name="rqtool-get", sim=[], root_files={"big.bin": BIG}, pattern=SPLIT,
         client=rqtool_client("get", "/big.bin", "back.bin"), check=check_tool_get),
    dict(name="rqtool-refused", sim=["--demo", "--refuse", "put:3=8"], pattern=MIXED,
         client=rqtool_client("put", "big.bin", "/x.bin"), status=1,
         check=check_tool_failure("put", "grant", "8", "1")),
    dict(name="rqtool-status", sim=["--demo", "--status", "get=9"], pattern=MIXED,
         client=rqtool_client("get", "/docs/readme.txt", "readme.txt"), status=1,
         check=check_tool_failure("get", "status", "9", None)),
]


def write_frames(pcap, frames, pattern):
    writer = PcapWriter(pcap, 40000, 20025)
    writer.handshake()
    segmenter = Segmenter(writer, pattern)
    for side, data in frames:
        segmenter.feed(side, data)
    segmenter.flush(SHELL)
    segmenter.flush(PROXY)
    writer.close()


def rqshell_client(args, script_path, port):
    return [args.rqshell, script_path, "127.0.0.1", str(port)]


def run_session(args, tshark, session, keep):
    ck = Checker(session["name"])
    work = tempfile.mkdtemp(prefix="rq-capture-")
    sim = None
    try:
        pcap = os.path.join(work, session["name"] + ".pcap")
        if "frames" in session:
            write_frames(pcap, session["frames"], session["pattern"])
            ctx = types.SimpleNamespace(work=work, pcap=pcap, tshark=tshark,
                                        dissector=args.dissector)
            pdus = decode(tshark, args.dissector, pcap, two_pass=not session.get("one_pass"))
            session["check"](ck, pdus, ctx)
            return ck
        open(os.path.join(work, "big.bin"), "wb").write(BIG)
        open(os.path.join(work, "boot.bin"), "wb").write(BOOT)
        root = os.path.join(work, "root")
        for name, data in session.get("root_files", {}).items():
            os.makedirs(root, exist_ok=True)
            open(os.path.join(root, name), "wb").write(data)
        sim = subprocess.Popen([args.rqsim, "--port", "0", "--root", root, "--diag-delay", "0",
                                "--once", *session["sim"]],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = sim.stdout.readline()
        m = re.search(r":(\d+)$", first.strip())
        if not m:
            raise RuntimeError("rqsim did not start: " + first + sim.stderr.read())
        relay = Relay(int(m.group(1)), pcap, session["pattern"],
                      server_port=session.get("server_port", 20025))
        script = os.path.join(work, "session.rq")
        open(script, "w").write(session.get("script", "").format(work=work))
        client = session.get("client", rqshell_client)(args, script, relay.port)
        run = subprocess.run(client, input=session.get("stdin", ""), capture_output=True, text=True,
                             timeout=60, cwd=work)
        if not relay.wait():
            raise RuntimeError("relay failed: %s" % relay.error)
        ck.eq("client exit status", run.returncode, session.get("status", 0))
        pdus = decode(tshark, args.dissector, pcap, session.get("decode", []))
        ctx = types.SimpleNamespace(run=run, work=work, pcap=pcap, tshark=tshark,
                                    dissector=args.dissector)
        session["check"](ck, pdus, ctx)
        late = session.get("late_start")
        if late:
            cut = os.path.join(work, "late.pcap")
            drop_packets(pcap, cut, late["drop"])
            late["check"](ck, decode(tshark, args.dissector, cut, session.get("decode", [])), ctx)
        if keep:
            shutil.copy(pcap, keep)
    except (OSError, RuntimeError, subprocess.TimeoutExpired, ET.ParseError) as e:
        ck.failures.append("%s: %s" % (type(e).__name__, e))
    finally:
        if sim:
            sim.terminate()
            sim.wait(10)
        shutil.rmtree(work, ignore_errors=True)
    return ck


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rqshell", required=True)
    parser.add_argument("--rqtool", help="the rqtool binary; without it its sessions are left out")
    parser.add_argument("--rqsim", required=True)
    parser.add_argument("--dissector", required=True)
    parser.add_argument("--keep", help="copy each capture into this directory")
    parser.add_argument("--only", help="run only the session of this name")
    args = parser.parse_args()
    for name in ("rqshell", "rqtool", "rqsim", "dissector"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    tshark = shutil.which("tshark")
    if not tshark:
        # CI sets RQ_REQUIRE_TSHARK, where a skip would hide a broken dissector.
        required = os.environ.get("RQ_REQUIRE_TSHARK") == "1"
        print("%s: tshark is not installed (Debian package tshark); the dissector "
              "was not tested" % ("FAIL" if required else "SKIPPED"))
        return 1 if required else SKIP
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
    passed = failed = 0
    for session in SESSIONS:
        if args.only and session["name"] != args.only:
            continue
        if session["name"].startswith("rqtool-") and not args.rqtool:
            continue
        ck = run_session(args, tshark, session, args.keep)
        if ck.failures:
            failed += 1
            print("FAIL %s" % ck.name)
            for f in ck.failures:
                print("    " + f)
        else:
            passed += 1
            print("ok   %s" % ck.name)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
