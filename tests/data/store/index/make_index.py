#!/usr/bin/env python3
"""Writes the folder index fixture "tree.lst" and its summary "tree.cnt" byte by byte.

Record: six strings of 256 bytes (a length byte, the text, zeros), then four 32-bit
little-endian integers: image index, state index, unread count, total count.
Run it from this directory; the files it writes are checked in beside it.
"""
import struct

RECORD = 1552


def text(value: bytes) -> bytes:
    assert len(value) <= 255
    return bytes([len(value)]) + value + b"\0" * (255 - len(value))


def record(caption, date, sender, subject, size, msgid, image, state, unread=0, total=0):
    data = b"".join(text(v) for v in (caption, date, sender, subject, size, msgid))
    data += struct.pack("<iiii", image, state, unread, total)
    assert len(data) == RECORD
    return data


rows = [
    record(b"    2-1</store/1000/inbox/_9122024101500123.eml>", b"09-12-2024 10:15",
           b"Ann Smith (ann@example.org)", b"Quarterly figures", b"004211",
           b"<abc.1@example.org>", -1, 2),
    record(b"    43</store/1000/inbox/9122024101600001.emlo>", b"09-12-2024 10:16",
           b"bob@example.net", "Caf\u00e9 \u00fcber alles".encode("utf-8"), b"1234567",
           b"<def.2@example.net>", 3, 4),
    record(b"    6-1</store/1000/inbox/10122024080000007.eml>", b"10-12-2024 08:00",
           b"", b"S" * 255, b"000000", b"", -1, 6),
    record(b"    1-1</store/1000/inbox/_x/11122024080000007.emlf>", b"30-12-1899 00:00",
           b"Carol (c@example.com)", b"", b"000512", b"<g@h>", -1, 1),
]

with open("tree.lst", "wb") as f:
    f.write(b"".join(rows))

# Two unread rows: the "_" file and the orphan; the flagged row lies below a directory
# named "_x" and is read.
with open("tree.cnt", "wb") as f:
    f.write(record(b"", b"", b"", b"", b"", b"", 0, 0, unread=2, total=4))
