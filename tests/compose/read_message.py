"""Reads a message file with Python's email package and prints what a reader sees.

One line per item: "<policy>.<key>=<value>", list items joined by " | ".

Used by the composition tests: the message written by the program must read back under
both the default and the strict policy without defects.
"""
import email
import email.policy
import sys


def describe(data, policy):
    message = email.message_from_bytes(data, policy=policy)
    defects = [type(d).__name__ for d in message.defects]
    for part in message.walk():
        defects += [type(d).__name__ for d in part.defects]
    body = message.get_body(preferencelist=("plain", "html"))
    attachments = []
    for part in message.iter_attachments():
        attachments.append({"name": part.get_filename(),
                            "bytes": len(part.get_payload(decode=True) or b"")})
    related = []
    for part in message.walk():
        if part.get("Content-ID"):
            related.append(str(part.get("Content-ID")))
    return {
        "defects": defects,
        "subject": str(message["subject"]),
        "from": [a.addr_spec for a in message["from"].addresses],
        "to": [[a.display_name, a.addr_spec] for a in message["to"].addresses],
        "cc": [[a.display_name, a.addr_spec] for a in message["cc"].addresses]
        if message["cc"] else [],
        "message_id": str(message["message-id"]),
        "in_reply_to": str(message["in-reply-to"] or ""),
        "body_type": body.get_content_type() if body else "",
        "body": body.get_content() if body else "",
        "attachments": attachments,
        "content_ids": related,
    }


def main():
    with open(sys.argv[1], "rb") as handle:
        data = handle.read()
    result = {}
    for name, policy in (("default", email.policy.default), ("strict", email.policy.strict)):
        try:
            result[name] = describe(data, policy)
        except Exception as error:  # a strict reader raises on what it refuses
            result[name] = {"error": f"{type(error).__name__}: {error}"}
    for policy, values in result.items():
        for key, value in values.items():
            if isinstance(value, list):
                value = " | ".join(
                    ",".join(str(v) for v in item) if isinstance(item, list)
                    else (f"{item['name']}:{item['bytes']}" if isinstance(item, dict) else str(item))
                    for item in value)
            text = str(value).replace("\r\n", "\\n").replace("\n", "\\n")
            print(f"{policy}.{key}={text}")


main()
