#!/usr/bin/env python3
"""Writes a mailbox of varied real-world message shapes, one file per message, into a
directory: the Python test-suite mail samples, and messages built with Python's email
package (alternative, mixed with attachments from 1 KB to 20 MB, related with images,
nested, delivery and read reports, signed), written with CRLF or bare LF line ends, with
lines that begin with "." and non-ASCII text.

usage: mailbox_samples.py OUTDIR [--large]   (--large adds the 20 MB attachment)
"""
import glob
import os
import random
import sys
from email import policy
from email.message import EmailMessage, Message
from email.mime.application import MIMEApplication
from email.mime.base import MIMEBase
from email.mime.image import MIMEImage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.utils import format_datetime, make_msgid
import datetime

SAMPLES = "/usr/lib/python3.11/test/test_email/data"
rng = random.Random(20261210)
count = 0


def write(outdir, data, lf_only=False):
    global count
    count += 1
    if isinstance(data, str):
        data = data.encode("utf-8")
    data = data.replace(b"\r\n", b"\n")
    if not lf_only:
        data = data.replace(b"\n", b"\r\n")
    with open(os.path.join(outdir, "%04d.eml" % count), "wb") as f:
        f.write(data)


def head(msg, subject, sender="Anna Berg <anna@example.net>"):
    msg["From"] = sender
    msg["To"] = "Me Myself <me@example.org>"
    msg["Subject"] = subject
    msg["Date"] = format_datetime(datetime.datetime(2026, 12, 1, 9, rng.randrange(60),
                                                    tzinfo=datetime.timezone.utc))
    msg["Message-ID"] = make_msgid(idstring=str(count), domain="example.net")
    return msg


def blob(size):
    return bytes(rng.getrandbits(8) for _ in range(min(size, 4096))) * (size // 4096 + 1)


def alternative():
    msg = head(EmailMessage(), "Plans for the week")
    msg.set_content("Hello,\n\n.a line that begins with a dot\n..and two\n.\nThe plan.\n")
    msg.add_alternative("<html><body><p>Hello,</p><p>.the plan</p></body></html>",
                        subtype="html")
    return msg.as_bytes(policy=policy.SMTP)


def mixed(sizes):
    msg = head(EmailMessage(), "Files: " + ", ".join(str(s) for s in sizes))
    msg.set_content("The files are attached.\n")
    for i, size in enumerate(sizes):
        msg.add_attachment(blob(size)[:size], maintype="application", subtype="octet-stream",
                           filename="file%d.bin" % i)
    msg.add_attachment("Notes, plain\n" * 50, filename="notes.txt")
    return msg.as_bytes(policy=policy.SMTP)


def related():
    msg = head(EmailMessage(), "Newsletter with pictures")
    msg.set_content("Plain version.\n")
    cid = make_msgid(domain="example.net")
    msg.add_alternative('<html><body><img src="cid:%s"><p>Caf\u00e9</p></body></html>'
                        % cid[1:-1], subtype="html")
    msg.get_payload()[1].add_related(blob(30000)[:30000], "image", "png", cid=cid,
                                     filename="logo.png")
    return msg.as_bytes(policy=policy.SMTP)


def nested():
    outer = head(MIMEMultipart("mixed"), "Fwd: nested")
    outer.attach(MIMEText("See below.\n", "plain", "utf-8"))
    inner = MIMEMultipart("alternative")
    inner.attach(MIMEText("inner plain \u00e9\n", "plain", "utf-8"))
    rel = MIMEMultipart("related")
    rel.attach(MIMEText("<p>inner html</p>", "html", "utf-8"))
    img = MIMEImage(blob(2000)[:2000], "gif")
    img.add_header("Content-ID", "<img1@example.net>")
    rel.attach(img)
    inner.attach(rel)
    outer.attach(inner)
    forwarded = MIMEBase("message", "rfc822")
    original = head(EmailMessage(), "the original")
    original.set_content("Original text.\n")
    forwarded.set_payload([original])
    outer.attach(forwarded)
    outer.attach(MIMEApplication(blob(5000)[:5000], "pdf", Name="report.pdf"))
    return outer.as_bytes()


def delivery_report():
    # As a mail server writes it.
    return ("Return-Path: <>\nFrom: Mail Delivery System <MAILER-DAEMON@example.net>\n"
            "To: me@example.org\nSubject: Undelivered Mail Returned to Sender\n"
            "Date: Tue, 01 Dec 2026 10:00:00 +0100\nMessage-ID: <bounce.1@example.net>\n"
            "Auto-Submitted: auto-replied\nMIME-Version: 1.0\n"
            "Content-Type: multipart/report; report-type=delivery-status;\n"
            "\tboundary=\"B1.1733043600/mail.example.net\"\n\n"
            "This is a MIME-encapsulated message.\n\n"
            "--B1.1733043600/mail.example.net\nContent-Description: Notification\n"
            "Content-Type: text/plain; charset=us-ascii\n\n"
            "This is the mail system at host mail.example.net.\n\n"
            "<nobody@example.com>: host mx.example.com said: 550 5.1.1 unknown user\n\n"
            "--B1.1733043600/mail.example.net\nContent-Description: Delivery report\n"
            "Content-Type: message/delivery-status\n\n"
            "Reporting-MTA: dns; mail.example.net\n\n"
            "Final-Recipient: rfc822; nobody@example.com\nAction: failed\nStatus: 5.1.1\n\n"
            "--B1.1733043600/mail.example.net\nContent-Description: Undelivered Message\n"
            "Content-Type: message/rfc822\n\n"
            "From: me@example.org\nTo: nobody@example.com\nSubject: hello\n\n"
            "hello\n.\n\n--B1.1733043600/mail.example.net--\n")


def read_report():
    msg = head(MIMEMultipart("report", report_type="disposition-notification"),
               "Read: offer")
    msg.attach(MIMEText("Your message was displayed.\n"))
    mdn = MIMEBase("message", "disposition-notification")
    mdn.set_payload("Final-Recipient: rfc822; anna@example.net\n"
                    "Original-Message-ID: <1@PXID1001>\n"
                    "Disposition: manual-action/MDN-sent-manually; displayed\n")
    msg.attach(mdn)
    return msg.as_bytes()


def signed():
    msg = head(MIMEMultipart("signed", protocol="application/pgp-signature",
                             micalg="pgp-sha256"), "Signed statement")
    body = MIMEText("I agree.\n-- \nAnna\n", "plain", "utf-8")
    msg.attach(body)
    sig = MIMEApplication(b"-----BEGIN PGP SIGNATURE-----\n\niQEz\n=abcd\n"
                          b"-----END PGP SIGNATURE-----\n", "pgp-signature",
                          _encoder=lambda m: None)
    sig.set_payload("-----BEGIN PGP SIGNATURE-----\n\niQEzBAEBCAAdFiEE\n=abcd\n"
                    "-----END PGP SIGNATURE-----\n")
    msg.attach(sig)
    return msg.as_bytes()


def eight_bit():
    return ("From: =?utf-8?q?J=C3=BCrgen?= <j@example.net>\n"
            "To: me@example.org\nSubject: =?iso-8859-1?q?Gr=FC=DFe?=\n"
            "Date: Tue, 01 Dec 2026 10:00:00 +0100\nMessage-ID: <8bit@example.net>\n"
            "MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n"
            "Content-Transfer-Encoding: 8bit\n\n"
            "Gr\u00fc\u00dfe aus K\u00f6ln \u2013 \u65e5\u672c\u8a9e\n.\n..\n. dot blank\n")


def malformed():
    return ("From: broken@example.net\nSubject: no closing boundary\n"
            "Content-Type: multipart/mixed; boundary=\"zz\"\n\n"
            "preamble\n--zz\nContent-Type: text/plain\n\nfirst part\n--zz\n"
            "Content-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n"
            "AAECAwQFBgcICQ\n")


def main():
    outdir = sys.argv[1]
    large = "--large" in sys.argv[2:]
    os.makedirs(outdir, exist_ok=True)
    for path in sorted(glob.glob(os.path.join(SAMPLES, "msg_*.txt"))):
        with open(path, "rb") as f:
            write(outdir, f.read())
    for lf in (False, True):
        write(outdir, alternative(), lf)
        write(outdir, nested(), lf)
        write(outdir, eight_bit(), lf)
    write(outdir, mixed([1024]))
    write(outdir, mixed([100 * 1024, 1024 * 1024]), lf_only=True)
    if large:
        write(outdir, mixed([20 * 1024 * 1024]))
    write(outdir, related())
    write(outdir, delivery_report())
    write(outdir, read_report(), lf_only=True)
    write(outdir, signed())
    write(outdir, malformed())
    print(count)


if __name__ == "__main__":
    main()
