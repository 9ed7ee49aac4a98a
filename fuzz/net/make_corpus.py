#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the seed corpus of fuzz_datagrams: valid datagrams of every type, and a few sequences."""
import os
import struct
import sys

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "corpus", "fuzz_datagrams")
os.makedirs(out, exist_ok=True)
NOW = 1_700_000_000


def dg(ptype, seq, block=b"", *fields):
    return b"P" + struct.pack(">HH", ptype, seq) + block + b"".join(f + b"\0" for f in fields)


def rec(datagram, addr=1):
    return bytes([0, addr]) + struct.pack(">H", len(datagram)) + datagram


t2 = struct.pack(">II", NOW - 100, NOW)
singles = {
    "hello": dg(13, 2, t2, b"ann", b"1", b"topic", b"Main", b"Cs"),
    "line": dg(14, 1, b"", b"ann", b"Main", b"hi \xc0\xc1"),
    "private": dg(15, 1, b"", b"ann", b"me", b"pm"),
    "mass": dg(16, 1, b"", b"ann", b"all"),
    "confirm": dg(17, 1, struct.pack(">HH", 15, 1), b"ann", b"4", b"busy"),
    "exit": dg(19, 1, b"", b"ann"),
    "resend": dg(20, 1, struct.pack(">HHH", 14, 1, 3), b"ann"),
    "roster": dg(21, 1, b"", b"ann", b"me", b"bob", b"carl"),
    "ping": dg(22, 1, b"", b"ann", b"me"),
    "pong": dg(23, 1, b"", b"me", b"ann", b"2", b"away"),
    "nick": dg(24, 1, b"", b"", b"ann"),
    "topic": dg(25, 1, t2, b"ann", b"Main", b"new topic"),
    "topicquery": dg(26, 1, struct.pack(">II", 500, NOW), b"ann", b"Main"),
    "state": dg(27, 1, b"", b"ann", b"3", b""),
    "inforequest": dg(28, 1, b"", b"ann"),
    "inforeply": dg(29, 1, b"", b"ann", b"about\r\nver"),
    "bell": dg(30, 1, b"\x01\x02", b"ann"),
    "unknown": dg(18, 1, b"", b"x"),
}
for name, d in singles.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(rec(d, 1))

tick_resend, tick_presence = bytes([2]), bytes([3])
step = lambda seconds: bytes([1]) + struct.pack(">H", seconds * 10)
own = lambda kind, index: bytes([4, kind, index])
sequences = {
    "seq-gap": rec(dg(13, 2, t2, b"ann", b"1", b"", b"Main"), 1) + rec(dg(14, 1, b"", b"ann", b"Main", b"a"), 1)
    + rec(dg(14, 4, b"", b"ann", b"Main", b"d"), 1) + rec(dg(20, 1, struct.pack(">HHH", 14, 2, 3), b"ann"), 1),
    "seq-wrap": b"".join(rec(dg(15, s, b"", b"bob", b"me", b"x"), 2) for s in (65534, 65535, 0, 65535, 2)),
    "seq-resend": rec(dg(13, 2, t2, b"ann", b"1", b"", b"Main"), 1) + own(2, 0) + own(0, 0) + step(2)
    + tick_resend * 6 + rec(dg(17, 1, struct.pack(">HH", 16, 1), b"ann", b"1"), 1),
    "seq-presence": rec(dg(22, 1, b"", b"ann", b"me"), 1) + rec(dg(23, 1, b"", b"x", b"bob", b"1"), 2)
    + step(100) + tick_presence + step(30) + tick_presence + rec(dg(21, 1, b"", b"carl", b"ann", b"dan"), 3),
}
for name, d in sequences.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(d)
