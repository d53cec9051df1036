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
"""
import sys
from email import policy
from email.parser import BytesParser


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


if __name__ == "__main__":
    main(sys.argv[1])
