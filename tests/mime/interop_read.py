"""Reads one message file with Python's standard email package and prints what a reader
sees, one item a line, every value as hexadecimal bytes so that any byte survives:

  subject HEX                   the decoded Subject
  from|to|cc NAMEHEX ADDRHEX    one line per address (display name, address)
  plain|html BYTESHEX CHARSETHEX
                                the body text the package picks (get_body), transfer-decoded
                                but not converted from its charset
  attachment NAMEHEX BYTESHEX TYPEHEX LOCATIONHEX IDHEX
                                every other leaf part, in file order, with its
                                Content-Location and Content-ID
  defect HEX                    every defect the package noted, with where it was found

Used by tests/mime/interop_test.cpp.

  interop_read.py --json FILE...

prints instead, one JSON object a line, the form tests/mime/mime_dump.cpp prints of Pelmora's
reading (see there): the subject, the date in local time, the addresses (members of a group
are listed, the group's name is not), the texts get_body picks as the package decodes them
(line breaks as "\n", no final line break), and every other leaf part, an attached message
being one leaf. A value the package cannot read is {"python-error": TEXT}. Used by
tests/mime/differential_test.py.
"""
import json
import re
import sys
from email import policy
from email.parser import BytesParser
from pathlib import Path


def hexed(value):
    if value is None:
        value = b""
    if isinstance(value, str):
        value = value.encode("utf-8", "surrogateescape")
    return value.hex() or "-"


def main(path):
    # parsebytes, not parse: parse reads through a text wrapper that turns CR LF into LF.
    with open(path, "rb") as handle:
        data = handle.read()
    message = BytesParser(policy=policy.default).parsebytes(data)
    out = []
    # The strict policy raises on every defect the parser meets; each header is read too.
    try:
        strict = BytesParser(policy=policy.strict).parsebytes(data)
        for part in strict.walk():
            for name, value in part.items():
                str(value)
    except Exception as error:  # noqa: BLE001 - any failure is what the test reports
        out.append(("defect", hexed(f"policy.strict: {type(error).__name__}: {error}")))

    def note_defects(where, defects):
        for defect in defects:
            out.append(("defect", hexed(f"{where}: {type(defect).__name__}: {defect}")))

    note_defects("message", message.defects)
    out.append(("subject", hexed(str(message.get("Subject", "")))))
    for field in ("From", "To", "Cc"):
        header = message.get(field)
        if header is None:
            continue
        note_defects(field, header.defects)
        for address in header.addresses:
            out.append((field.lower(), hexed(address.display_name), hexed(address.addr_spec)))

    bodies = []
    for kind in ("plain", "html"):
        body = message.get_body(preferencelist=(kind,))
        if body is not None and body.get_content_type() == f"text/{kind}":
            bodies.append(body)
            out.append((kind, hexed(body.get_payload(decode=True)),
                        hexed(body.get_content_charset() or "")))

    for part in message.walk():
        if part.is_multipart() or any(part is body for body in bodies):
            continue
        note_defects(part.get_content_type(), part.defects)
        for field in ("Content-Type", "Content-Disposition"):
            if part.get(field) is not None:
                note_defects(field, part.get(field).defects)
        out.append(("attachment", hexed(part.get_filename()),
                    hexed(part.get_payload(decode=True)), hexed(part.get_content_type()),
                    hexed(str(part.get("Content-Location", ""))),
                    hexed(str(part.get("Content-ID", "")))))

    for item in out:
        print(" ".join(item))


def fnv(data):
    value = 14695981039346656037
    for byte in data:
        value = ((value ^ byte) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return f"{value:016x}"


def shown_text(text):
    lines = re.split(r"\r\n|\r|\n", text)
    if lines and lines[-1] == "":
        lines.pop()
    return "\n".join(lines)


def guarded(read):
    try:
        return read()
    except Exception as error:  # noqa: BLE001 - what the package fails on is compared
        return {"python-error": f"{type(error).__name__}: {error}"}


def leaves(part):
    """Leaf parts in file order; an attached message is a leaf, not a container."""
    if part.get_content_maintype() == "multipart" and isinstance(part.get_payload(), list):
        for sub in part.get_payload():
            yield from leaves(sub)
    else:
        yield part


def local_time(header):
    import datetime
    moment = header.datetime
    if moment is None:
        return ""
    if moment.tzinfo is None:  # "-0000": a time in UTC whose zone is not known
        moment = moment.replace(tzinfo=datetime.timezone.utc)
    return moment.astimezone().strftime("%Y-%m-%d %H:%M:%S")


def dump(path):
    message = BytesParser(policy=policy.default).parsebytes(Path(path).read_bytes())
    view = {"file": Path(path).name}
    view["subject"] = guarded(lambda: str(message.get("Subject", "")).strip())
    view["date"] = guarded(lambda: local_time(message["Date"]) if message["Date"] is not None else "")
    for field in ("From", "To", "Cc"):
        view[field.lower()] = guarded(lambda: [[a.display_name, a.addr_spec]
                                               for h in message.get_all(field, [])
                                               for a in h.addresses])
    bodies = []
    for kind in ("plain", "html"):
        body = message.get_body(preferencelist=(kind,))
        if body is not None and body.get_content_type() == f"text/{kind}":
            bodies.append(body)
            view[kind] = guarded(lambda: shown_text(body.get_content()))
        else:
            view[kind] = None
    view["attachments"] = []
    for part in leaves(message):
        if any(part is body for body in bodies):
            continue
        entry = {"name": part.get_filename(), "type": part.get_content_type()}
        if part.get_content_type() == "message/rfc822":
            inner = part.get_payload(0)
            entry["subject"] = str(inner.get("Subject", "")).strip()
        elif isinstance(part.get_payload(), list):
            # message/delivery-status: blocks of fields, given back as their lines
            data = b"\r\n".join(block.as_bytes(policy=policy.compat32.clone(linesep="\r\n"))[:-2]
                                for block in part.get_payload())
            entry["size"] = len(data)
            entry["fnv"] = fnv(data)
        else:
            data = part.get_payload(decode=True) or b""
            entry["size"] = len(data)
            entry["fnv"] = fnv(data)
        view["attachments"].append(entry)
    return view


if __name__ == "__main__":
    if sys.argv[1] == "--json":
        for name in sys.argv[2:]:
            print(json.dumps(dump(name)))
    else:
        main(sys.argv[1])
