"""Differential test of the base64 and quoted-printable decoders: texts encoded by Python
(base64, quopri, email.quoprimime), well-formed and then damaged the way mail arrives (lines of
odd lengths, bare LF, missing padding, stray characters and "=", lower-case hex, a last line
without its break), are decoded by Pelmora (codec_dump, whole and in random pieces) and by
Python's base64 / quopri modules, and the bytes must be the same.

  codec_differential_test.py CODEC_DUMP [--keep DIR]

Where Python stops or gives up on purpose, the expected bytes are still Python's: bodies
joined from separately padded pieces are expected as Python's decoding of each piece (Python
stops at the first padding, Pelmora reads on so nothing is lost).
"""
import base64
import email.quoprimime
import os
import quopri
import random
import subprocess
import sys
import tempfile
from pathlib import Path

ALPHABET = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
JUNK = [b" ", b"\t", b"!", b"*", b".", b"\x00", b"\xe9", b"-", b"\r", b"\n"]


def random_bytes(rng, size):
    return bytes(rng.getrandbits(8) for _ in range(size))


def random_text(rng, size):
    """Text with line breaks, trailing blanks, '=' and accented letters: what QP usually holds."""
    words = ["Gr\u00fc\u00dfe", "caf\u00e9", "a=b", "plan", "x", "\u0141\u00f3d\u017a", "tab\there",
             "end ", "1+1=2", "\u65e5\u672c", "d\u00e9j\u00e0", "="]
    out = []
    while sum(map(len, out)) < size:
        out.append(rng.choice(words))
        out.append(rng.choice([" ", " ", " ", "\r\n", "\n", "  \r\n"]))
    return "".join(out).encode("utf-8")


def rewrap(text, rng):
    """The alphabet characters of text in lines of one random length, CR LF or LF."""
    data = bytes(c for c in text if c in ALPHABET or c == ord("="))
    width = rng.randint(1, 100)
    ending = rng.choice([b"\r\n", b"\n"])
    return ending.join(data[i:i + width] for i in range(0, len(data), width)) + ending


def insert_junk(text, rng, count):
    text = bytearray(text)
    for _ in range(count):
        text[rng.randint(0, len(text)):0] = rng.choice(JUNK)
    return bytes(text)


def insert_stray_equals(text, rng, count):
    """Puts single '=' where they finish no group: before the first or second character of a
    group, or alone after the second one with more characters following."""
    data = bytes(c for c in text if c in ALPHABET)
    out = bytearray()
    places = set(rng.sample(range(len(data)), min(count, len(data))))
    for index, c in enumerate(data):
        if index in places and index % 4 in (0, 1, 2):
            out += b"="
        out.append(c)
    return bytes(out)


def base64_cases(rng):
    """(name, text, expected bytes) rows."""
    rows = []
    for n in range(120):
        data = random_bytes(rng, rng.choice([0, 1, 2, 3, 4, 56, 57, 58, rng.randint(0, 6000)]))
        encoded = base64.encodebytes(data)
        rows.append((f"b64-python-{n}", encoded, base64.b64decode(encoded)))
        wrapped = rewrap(encoded, rng)
        rows.append((f"b64-rewrapped-{n}", wrapped, base64.b64decode(wrapped)))
        unpadded = wrapped.replace(b"=", b"")
        alphabet_count = sum(c in ALPHABET for c in unpadded)
        rows.append((f"b64-unpadded-{n}", unpadded,
                     base64.b64decode(bytes(c for c in unpadded if c in ALPHABET) +
                                      b"=" * (-alphabet_count % 4))))
        junky = insert_junk(wrapped, rng, rng.randint(1, 30))
        rows.append((f"b64-junk-{n}", junky, base64.b64decode(junky, validate=False)))
        if data:
            stray = insert_stray_equals(base64.b64encode(data), rng, rng.randint(1, 10))
            stray += b"=" * (-sum(c in ALPHABET for c in stray) % 4)
            rows.append((f"b64-stray-equals-{n}", stray, base64.b64decode(stray, validate=False)))
        pieces = [random_bytes(rng, rng.randint(1, 40)) for _ in range(rng.randint(2, 5))]
        joined = b"".join(base64.b64encode(p) + rng.choice([b"", b"\r\n"]) for p in pieces)
        rows.append((f"b64-joined-pieces-{n}", joined,
                     b"".join(base64.b64decode(base64.b64encode(p)) for p in pieces)))
    return rows


def damage_qp(encoded, rng):
    """Damage that Python's decoder reads the same way as a mail reader should: lower-case
    hex, '=' before a character that starts no escape, half escapes, bare LF, no last break."""
    lines = encoded.split(b"\n")
    out = []
    for line in lines:
        if rng.random() < 0.3:
            line = line.replace(b"=C3", b"=c3").replace(b"=3D", b"=3d")
        if rng.random() < 0.2 and not line.endswith(b"=\r") and not line.endswith(b"="):
            cut = rng.randint(0, len(line))
            while cut > 0 and b"=" in line[max(0, cut - 2):cut]:
                cut -= 1
            line = line[:cut] + rng.choice([b"=G", b"=x", b"=-", b"=4Z", b"=a."]) + line[cut:]
        out.append(line)
    text = b"\n".join(out)
    if rng.random() < 0.5:
        text = text.replace(b"\r\n", b"\n")
    if rng.random() < 0.3:
        text = text.rstrip(b"\r\n")
    if rng.random() < 0.2:
        text += b"="
    return text


def qp_cases(rng):
    rows = []
    for n in range(120):
        data = random_text(rng, rng.randint(0, 4000)) if n % 3 else random_bytes(
            rng, rng.randint(0, 3000))
        encoded = quopri.encodestring(data)
        rows.append((f"qp-quopri-{n}", encoded, quopri.decodestring(encoded)))
        crlf = email.quoprimime.body_encode(data.decode("latin-1"), eol="\r\n").encode("latin-1")
        rows.append((f"qp-email-{n}", crlf, quopri.decodestring(crlf)))
        damaged = damage_qp(crlf, rng)
        rows.append((f"qp-damaged-{n}", damaged, quopri.decodestring(damaged)))
    return rows


def main(argv):
    dumper = argv[1]
    keep = argv[argv.index("--keep") + 1] if "--keep" in argv else None
    rng = random.Random(1210)
    rows = base64_cases(rng) + qp_cases(rng)
    failed = 0
    with tempfile.TemporaryDirectory(prefix="pelmora-codec-") as scratch:
        folder = Path(keep or scratch)
        folder.mkdir(parents=True, exist_ok=True)
        for name, text, _ in rows:
            (folder / (name + (".b64" if name.startswith("b64") else ".qp"))).write_bytes(text)
        subprocess.run([dumper, str(folder)], check=True, stdout=subprocess.DEVNULL)
        for name, text, expected in rows:
            for way in ("whole", "pieces"):
                ours = (folder / f"{name}.{way}").read_bytes()
                if ours != expected:
                    failed += 1
                    at = next((i for i, (a, b) in enumerate(zip(ours, expected)) if a != b),
                              min(len(ours), len(expected)))
                    print(f"== {name} ({way}): {len(ours)} bytes, Python {len(expected)}; "
                          f"first difference at {at}\n   input {text[:160]!r}")
    print(f"{len(rows)} texts compared whole and in pieces, {failed} differences")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
