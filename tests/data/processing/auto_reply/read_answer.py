"""Reads an automatic answer as another mail program would and prints what matters for
answering it: the automatic-mail marker, the date, the threading headers and every
recipient, one line each. Exit status 1 when the file cannot be read as a message."""
import sys
from email import message_from_binary_file, policy
from email.utils import parsedate_to_datetime


def main():
    with open(sys.argv[1], "rb") as f:
        msg = message_from_binary_file(f, policy=policy.default)
    print("Auto-Submitted:", msg.get("Auto-Submitted", "(missing)"))
    try:
        date = parsedate_to_datetime(str(msg["Date"]))
        print("Date:", "ok" if date.tzinfo is not None else "no zone")
    except (TypeError, ValueError):
        print("Date: unreadable", repr(msg.get("Date")))
    print("In-Reply-To:", msg.get("In-Reply-To", "(missing)"))
    print("References:", " ".join(str(msg.get("References", "(missing)")).split()))
    recipients = []
    for name in ("To", "Cc", "Bcc"):
        for header in msg.get_all(name, []):
            recipients += [a.addr_spec for a in header.addresses]
    print("Recipients:", len(recipients), " ".join(recipients))
    print("Defects:", sum(len(h.defects) for h in (msg["To"], msg["Date"]) if h is not None))


if __name__ == "__main__":
    main()
