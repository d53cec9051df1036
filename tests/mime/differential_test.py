"""Differential test: several hundred messages written by Python's email package
(make_corpus.py) are read by Pelmora (mime_dump) and by Python (interop_read.py --json), and
what each shows is compared message by message: subject, date, addresses, both texts, and the
name and bytes of every attachment.

  differential_test.py MIME_DUMP [--keep DIR]

Where Pelmora reads a message differently on purpose, the difference is listed below with its
reason; the corpus then says what the sender meant (truth.json) and Pelmora must show that.
Every other difference fails the test with a diff.
"""
import difflib
import json
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
PYTHON = "/usr/bin/python3"

# Deliberate differences, by the key make_corpus.py gives them in truth.json.
REASONS = {
    "appended-inline-text":
        "a later inline text part outside an alternative (a list footer, the rest of an HTML "
        "text split around a picture) is appended to the shown text, so nothing the sender "
        "wrote is hidden; Python's get_body shows only the first and leaves the rest as parts",
    "empty-text-is-nothing":
        "an empty text part is neither a text to show nor a 0-byte attachment",
    "named-text-is-file":
        "a text part with a file name is a file the sender attached and is saved under its "
        "name, even when disposed inline; Python shows it as the body",
    "comment-as-name":
        "in 'a@b (Name)' the comment is the only name the sender gave and is shown as the "
        "display name; Python's display name is empty",
    "base64-after-padding":
        "base64 decoding goes on after a '=' in mid-stream (bodies joined from separately "
        "encoded pieces), so no bytes are lost; Python stops at the padding",
    "unknown-charset":
        "an unknown charset reads as windows-1252 (or as UTF-8 where the bytes are valid UTF-8) "
        "instead of failing or showing replacement characters",
    "nul-in-header":
        "NULs are cut from decoded header texts: a header text ends at a NUL in the index, the "
        "list and every program the text is handed to",
    "split-character-joined":
        "adjacent encoded words of one charset are decoded as one byte string, so a character "
        "split between two words reads as that character; Python decodes each word alone",
    "raw-utf8-header":
        "raw UTF-8 in a header (RFC 6532) reads as UTF-8; Python's reading of message bytes "
        "keeps it as escaped bytes, so the truth is Python's reading of the header as text",
    "raw-8bit-header":
        "raw 8-bit header bytes that are not UTF-8 read as windows-1252; Python shows "
        "replacement characters",
    "unlabelled-8bit-as-windows-1252":
        "an 8-bit body without a charset label reads as windows-1252 when it is not valid UTF-8; "
        "Python reads it as ASCII with replacement characters",
    "extended-parameter-wins":
        "a parameter given both plainly and in RFC 2231 form reads from the RFC 2231 form, "
        "which carries the charset (the plain one is there for readers that lack it); Python "
        "takes the first",
    "qp-padding-before-soft-break":
        "in quoted-printable a '=' followed only by white space at the end of a line is a soft "
        "line break whose white space was added in transport (RFC 2045 section 6.7); Python "
        "keeps the '=' and the spaces as text",
    "encoded-attached-message":
        "an attached message sent with a base64 or quoted-printable transfer encoding "
        "(which RFC 2046 forbids but some programs write) is decoded before it is read; "
        "Python reads the encoded text as a message and finds no subject",
    "uuencode-split":
        "a uuencoded file inside a plain body is an attachment and the text around it is the "
        "body; Python shows the encoded lines as text",
}

# Deliberate differences that hold for every message.
GENERAL = {
    "file-name-made-safe":
        "attachment names are made safe to save: characters a file system or shell misreads "
        "('/', '\\\\', ':', '*', '?', '\"', '<', '>', '|', ''', control characters) become '_'",
    "words-joined-in-names":
        "white space between adjacent encoded words goes in display names as it does in "
        "subjects (RFC 2047 section 6.2); Python keeps it in display names, and its writer "
        "folds a name into adjacent words without a space inside them",
    "unnamed-part-gets-name":
        "a part without a file name gets one from its Content-ID, Content-Location or type, "
        "so that it can be saved; Python's name is None",
}


ADJACENT_WORDS = re.compile(r"\?=\s+=\?")


def words_joined(ours, theirs, raw_header):
    """True when two address lists differ only in white space between adjacent encoded
    words of a display name, which RFC 2047 says is not part of the text."""
    if not isinstance(ours, list) or not isinstance(theirs, list) or len(ours) != len(theirs):
        return False
    if not ADJACENT_WORDS.search(raw_header):
        return False
    squeeze = lambda text: re.sub(r"\s+", "", text)
    return all(a[1] == b[1] and squeeze(a[0]) == squeeze(b[0]) for a, b in zip(ours, theirs))


def raw_header(data, field):
    head = data.replace(b"\r\n", b"\n").split(b"\n\n", 1)[0].decode("latin-1")
    found = re.findall(rf"^{field}:(.*(?:\n[ \t].*)*)", head, re.IGNORECASE | re.MULTILINE)
    return " ".join(found)


def safe_name(name):
    name = name.strip(" \t")
    return "".join("_" if ord(c) < 32 or c in ":\\/*?\"<>|'" else c for c in name)


def fnv(data):
    value = 14695981039346656037
    for byte in data:
        value = ((value ^ byte) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return f"{value:016x}"


def truth_attachments(entries):
    """The attachment list as the generator meant it: a name (None for none) and the bytes,
    or for an attached message its subject."""
    out = []
    for entry in entries:
        if "subject" in entry:
            out.append({"name": entry["name"], "subject": entry["subject"]})
        else:
            data = entry["bytes"].encode("latin-1")
            out.append({"name": entry["name"], "size": len(data), "fnv": fnv(data)})
    return out


def attachment_differences(ours, theirs, notes):
    """The differences between two attachment lists, after the general rules."""
    problems = []
    if len(ours) != len(theirs):
        return [f"{len(ours)} attachments, Python sees {len(theirs)}"]
    for index, (a, b) in enumerate(zip(ours, theirs)):
        expected = dict(b)
        if b.get("name") is None:
            if a.get("name"):
                notes.add("unnamed-part-gets-name")
                expected["name"] = a["name"]
        elif safe_name(b["name"]) != b["name"]:
            notes.add("file-name-made-safe")
            expected["name"] = safe_name(b["name"])
        for key, value in expected.items():
            if key == "type" and "type" not in a:
                continue
            if a.get(key) != value:
                problems.append(f"attachment {index} {key}: Pelmora {a.get(key)!r}, "
                                f"Python {value!r}")
    return problems


def text_diff(ours, theirs):
    if not isinstance(ours, str) or not isinstance(theirs, str):
        return f"    Pelmora: {ours!r}\n    Python:  {theirs!r}"
    lines = difflib.unified_diff(theirs.split("\n"), ours.split("\n"), "Python", "Pelmora",
                                 lineterm="", n=1)
    return "\n".join("    " + line for line in lines)


def compare(ours, theirs, truth, notes, data):
    """Readable lines for every difference that is not deliberate."""
    problems = []
    for field in ("subject", "date", "from", "to", "cc", "plain", "html", "attachments"):
        expected = theirs.get(field)
        fact = truth.get(field)
        if fact is not None:
            if fact["reason"] not in REASONS:
                problems.append(f"{field}: reason {fact['reason']!r} is not listed")
                continue
            notes.add(fact["reason"])
            expected = fact["value"]
            if field == "attachments":
                expected = truth_attachments(expected)
        if field == "attachments":
            problems += attachment_differences(ours[field], expected, notes)
        elif ours.get(field) != expected:
            if field in ("from", "to", "cc") and words_joined(ours[field], expected,
                                                              raw_header(data, field)):
                notes.add("words-joined-in-names")
                continue
            problems.append(f"{field}:\n" + text_diff(ours.get(field), expected))
    return problems


def read_lines(command):
    result = subprocess.run(command, capture_output=True, check=False)
    if result.returncode != 0:
        sys.exit(f"{command[0]} failed ({result.returncode}):\n{result.stderr.decode(errors='replace')}")
    return {view["file"]: view for view in map(json.loads, result.stdout.decode().splitlines())}


def main(argv):
    dumper = argv[1]
    keep = argv[argv.index("--keep") + 1] if "--keep" in argv else None
    with tempfile.TemporaryDirectory(prefix="pelmora-differential-") as scratch:
        corpus = Path(keep or scratch)
        subprocess.run([PYTHON, str(HERE / "make_corpus.py"), str(corpus)], check=True)
        files = sorted(str(p) for p in corpus.glob("*.eml"))
        truth = json.loads((corpus / "truth.json").read_text())
        ours = read_lines([dumper] + files)
        theirs = read_lines([PYTHON, str(HERE / "interop_read.py"), "--json"] + files)
        datas = {Path(f).name: Path(f).read_bytes() for f in files}
    notes = set()
    failed = 0
    for name in sorted(theirs):
        if name not in ours:
            print(f"== {name}: Pelmora printed nothing")
            failed += 1
            continue
        problems = compare(ours[name], theirs[name], truth.get(name[:-4], {}), notes,
                           datas[name])
        if problems:
            failed += 1
            print(f"== {name}")
            for problem in problems:
                print("  " + problem)
    print(f"{len(theirs)} messages compared, {failed} with differences that are not deliberate")
    for key in sorted(notes):
        print(f"deliberate: {key}: {REASONS.get(key) or GENERAL.get(key)}")
    return 1 if failed else 0


if __name__ == "__main__":
    os.environ.setdefault("TZ", "Europe/Berlin")
    sys.stdout.reconfigure(errors="backslashreplace")
    sys.exit(main(sys.argv))
