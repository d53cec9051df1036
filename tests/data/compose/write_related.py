"""Writes an HTML message with an embedded picture (cid) and a remote one, as Python's email
package builds it. Usage: write_related.py OUT.eml REMOTE_URL"""
import struct
import sys
import zlib
from email.message import EmailMessage
from email.utils import make_msgid


def png(width, height, rgb):
    raw = b"".join(b"\x00" + bytes(rgb) * width for _ in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


message = EmailMessage()
message["From"] = "Zoë Brontë <zoe@example.net>"
message["To"] = "Me Myself <me@example.org>"
message["Subject"] = "Harbour photos – Grüße"
message["Date"] = "Tue, 03 Mar 2026 14:05:09 +0100"
message["Organization"] = "Lighthouse Keepers Ltd"
cid = make_msgid(domain="example.net")
message.set_content("The harbour at dawn.\n")
message.add_alternative(
    "<html><body><p>The harbour at <b>dawn</b>.</p>"
    f'<p><img src="cid:{cid[1:-1]}" alt="harbour" width="16" height="12"></p>'
    f'<p><img src="{sys.argv[2]}" alt="tracker"></p>'
    "<script>document.write('ran')</script>"
    '<form action="http://127.0.0.1:9/steal"><input name="p"></form>'
    "</body></html>", subtype="html")
message.get_payload()[1].add_related(png(16, 12, (0, 128, 255)), "image", "png", cid=cid,
                                     filename="harbour.png")
with open(sys.argv[1], "wb") as handle:
    handle.write(bytes(message))
