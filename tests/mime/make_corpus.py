"""Writes the messages of the differential test (tests/mime/differential_test.py) into a
directory: a few hundred messages made with Python's email package, under policy.default and
under compat32, in many charsets and structures, followed by hand-written malformed ones.

  make_corpus.py DIR [--seed N] [--count N]

Every message is DIR/NNNN-label.eml. Some hand-written messages are read differently by
Pelmora on purpose; for those, DIR/truth.json holds what the sender meant, field by field,
with the key of the reason (the reasons are listed in differential_test.py):

  {"0301-footer": {"plain": {"reason": "appended-inline-text", "value": "..."}}}

The output depends only on the seed.
"""
import base64
import datetime
import json
import random
import sys
from email import message_from_string, policy
from email.header import Header
from email.headerregistry import Address, Group
from email.message import EmailMessage
from email.mime.application import MIMEApplication
from email.mime.base import MIMEBase
from email.mime.message import MIMEMessage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.utils import format_datetime, formataddr
from pathlib import Path

# Charset: a subject, a name and a body that the charset can hold.
SAMPLES = {
    "iso-8859-1": ("Grüße aus Köln, ça va?", "Jörg Müller", "Sehr geehrte Frau Müller,\nanbei die Übersicht für Zürich.\nAño nuevo, señor."),
    "iso-8859-2": ("Zażółć gęślą jaźń", "Łukasz Żółw", "Dzień dobry,\nprzesyłam raport (wersja ostateczna).\nPozdrawiam"),
    "iso-8859-5": ("Привет из Москвы", "Иван Петров", "Добрый день!\nОтчёт во вложении.\nС уважением"),
    "iso-8859-7": ("Καλημέρα κόσμε", "Γιώργος Παπαδόπουλος", "Γεια σας,\nστέλνω την αναφορά.\nΕυχαριστώ"),
    "iso-8859-15": ("Prix: 120 € pour l'œuvre", "Šárka Žáková", "Bonjour,\nle prix est de 120 €.\nCordialement, Zoë"),
    "windows-1250": ("Příliš žluťoučký kůň", "Jiří Dvořák", "Dobrý den,\nv příloze posílám zprávu.\nS pozdravem"),
    "windows-1251": ("Съешь же ещё этих мягких булок", "Мария Иванова", "Здравствуйте!\nНаправляем вам отчёт.\nСпасибо"),
    "windows-1252": ("“Smart quotes” – café €5", "Zoë O’Brien", "Hello,\nthe price is €5 – “final”.\nRegards…"),
    "windows-1253": ("Ελληνικά κείμενα", "Νίκος Κωνσταντίνου", "Καλησπέρα,\nτο έγγραφο επισυνάπτεται.\nΦιλικά"),
    "koi8-r": ("Направляем вам отчёт за квартал", "Сергей Смирнов", "Коллеги,\nнаправляем вам отчёт.\nС уважением, Сергей"),
    "shift_jis": ("日本語の件名です", "山田太郎", "お世話になっております。\n資料を送付いたします。\nよろしくお願いします。"),
    "gb2312": ("中文邮件主题", "王小明", "您好，\n附件是本月的报告。\n谢谢"),
    "iso-2022-jp": ("お世話になっております", "鈴木花子", "いつもお世話になっております。\n会議の資料です。\n以上"),
    "iso-8859-9": ("Günaydın, İstanbul şubesi", "Çağrı Öztürk", "Merhaba,\nrapor ektedir.\nSaygılarımla"),
    "windows-1257": ("Labdien, Rīga un Vilnius", "Jānis Bērziņš", "Sveiki,\npielikumā ir atskaite.\nAr cieņu"),
    "big5": ("中文郵件主旨", "陳大文", "您好，\n附件是本月的報告。\n謝謝"),
    "euc-kr": ("회의 자료입니다", "김철수", "안녕하세요,\n회의 자료를 보내드립니다.\n감사합니다"),
    "euc-jp": ("会議の資料です", "佐藤次郎", "お疲れ様です。\n資料を添付します。\n以上"),
    "utf-8": ("Emoji 😀 and Ελληνικά 中文 mixed", "Zoë 山田 Ñandú", "Mixed text: 😀 ✓ Ελληνικά 中文 Ñandú\nsecond line\n"),
}
HEADER_CHARSETS = list(SAMPLES)
BODY_CHARSETS = HEADER_CHARSETS + ["utf-16"]
# Charsets whose encoded words compat32 writes under another label (Shift_JIS as ISO-2022-JP):
# their header words are written by hand so that their own label reaches the reader.
HAND_WORDS = {"shift_jis", "gb2312", "big5", "euc-kr", "euc-jp", "windows-1257", "iso-8859-9", "windows-1250", "windows-1251", "windows-1253",
              "iso-8859-5", "iso-8859-7"}

FILE_NAMES = [
    "report.pdf", "résumé final.docx", "Übersicht 2024 (Entwurf).xlsx", "отчёт.doc",
    "見積書.pdf", "a very long file name that goes on and on, with commas and spaces and "
    "more words than any header line can hold — naïve café edition.txt",
    "photo 01.jpg", "data;v=2.csv", "Ærø ø å.zip", "中文附件.rar",
]
WORDS = "the project meeting report please find attached draft invoice next week budget".split()


def encoded_word(text, charset, kind="B"):
    raw = text.encode(charset)
    if kind == "B":
        return f"=?{charset}?B?{base64.b64encode(raw).decode()}?="
    body = "".join(chr(b) if 33 <= b < 127 and chr(b) not in "=?_" else
                   "_" if b == 32 else f"={b:02X}" for b in raw)
    return f"=?{charset}?Q?{body}?="


def phrase_words(text, charset, rnd):
    """Encoded words of at most about 40 bytes each, separated by spaces."""
    out, chunk = [], ""
    for ch in text:
        if len((chunk + ch).encode(charset)) > 30:
            out.append(encoded_word(chunk, charset, rnd.choice("BQ")))
            chunk = ""
        chunk += ch
    if chunk:
        out.append(encoded_word(chunk, charset, rnd.choice("BQ")))
    return " ".join(out)


def long_subject(rnd, subject, index):
    """The charset's subject once or several times, so that writers fold it."""
    return " ".join([subject] * rnd.choice([1, 1, 2, 4])) + f" #{index}"


def random_date(rnd):
    zone = datetime.timezone(datetime.timedelta(minutes=rnd.choice([0, 60, 120, -300, -420, 330, 540, -180])))
    start = datetime.datetime(2019, 1, 1, tzinfo=datetime.timezone.utc)
    moment = start + datetime.timedelta(seconds=rnd.randrange(6 * 365 * 86400))
    return moment.astimezone(zone)


def random_people(rnd, charset, count):
    people = []
    for i in range(count):
        kind = rnd.randrange(5)
        address = f"user{rnd.randrange(1000)}@example{i}.org"
        if kind == 0:
            people.append(("", address))
        elif kind == 1:
            people.append((f"Smith, John {i}", address))
        elif kind == 2:
            people.append((SAMPLES[charset][1], address))
        elif kind == 3:
            people.append((f'Ann "Nickname" Lee {i}', address))
        else:
            people.append((f"Bob Stone {i}", address))
    return people


def random_bytes(rnd, size):
    return bytes(rnd.randrange(256) for _ in range(size))


def body_text(rnd, charset):
    base = SAMPLES.get(charset, SAMPLES["utf-8"])[2]
    extra = " ".join(rnd.choice(WORDS) for _ in range(rnd.randrange(5, 60)))
    long_line = rnd.random() < 0.3
    return base + "\n" + (extra if long_line else "\n".join(extra[i:i + 60] for i in range(0, len(extra), 60))) + "\n"


def html_of(text):
    return "<html><body>" + "".join(f"<p>{line}</p>\n" for line in text.splitlines()) + "</body></html>\n"


# ----- messages made with policy.default -----------------------------------------------------

def modern_message(rnd, index):
    charset = rnd.choice(HEADER_CHARSETS)
    body_charset = rnd.choice([charset, "utf-8"])
    subject, name, _ = SAMPLES[charset]
    msg = EmailMessage(policy=policy.default)
    msg["Subject"] = long_subject(rnd, subject, index)
    msg["From"] = Address(name, addr_spec="sender@example.com")
    people = random_people(rnd, charset, rnd.choice([1, 2, 5, 30]))
    msg["To"] = [Address(n, addr_spec=a) for n, a in people]
    if rnd.random() < 0.3:
        msg["Cc"] = [Group("Team", [Address("Ann", addr_spec="ann@example.net"), Address("", addr_spec="bo@example.net")]),
                     Address("Carl", addr_spec="carl@example.net")]
    msg["Date"] = random_date(rnd)
    text = body_text(rnd, body_charset)
    shape = rnd.choice(["plain", "alternative", "mixed", "related", "mixed-alternative", "forward"])
    msg.set_content(text, charset=body_charset, cte=rnd.choice([None, "base64", "quoted-printable"]))
    if shape in ("alternative", "mixed-alternative", "related"):
        msg.add_alternative(html_of(text), subtype="html", charset=body_charset)
    if shape == "related":
        html_part = msg.get_payload()[1]
        html_part.add_related(random_bytes(rnd, rnd.randrange(50, 3000)), "image", "png",
                              cid=f"<img{index}@example.com>")
    if shape in ("mixed", "mixed-alternative"):
        for _ in range(rnd.randrange(1, 4)):
            msg.add_attachment(random_bytes(rnd, rnd.randrange(0, 5000)), "application",
                               "octet-stream", filename=rnd.choice(FILE_NAMES))
    if shape == "forward":
        inner = EmailMessage(policy=policy.default)
        inner["Subject"] = f"Inner {SAMPLES[charset][0]}"
        inner["Date"] = random_date(rnd)
        inner["From"] = "inner@example.com"
        inner.set_content("Forwarded text\n")
        msg.add_attachment(inner)
    return f"default-{shape}-{charset}", msg.as_bytes()


# ----- messages made with compat32 -----------------------------------------------------------

def legacy_header(rnd, text, charset):
    if charset in HAND_WORDS:
        return phrase_words(text, charset, rnd)
    return Header(text, charset).encode()


def legacy_text_part(text, charset, subtype="plain"):
    if charset == "utf-16":
        return MIMEText(text, subtype, "utf-16")
    if charset in ("shift_jis", "gb2312", "koi8-r", "windows-1251", "windows-1250", "big5",
                   "euc-kr", "euc-jp", "windows-1257"):
        # MIMEText would convert Shift_JIS to ISO-2022-JP; this keeps the part's own charset.
        part = MIMEBase("text", subtype, charset=charset)
        part.set_payload(base64.encodebytes(text.encode(charset)).decode())
        part["Content-Transfer-Encoding"] = "base64"
        return part
    return MIMEText(text, subtype, charset)


def signed(rnd, inner):
    outer = MIMEMultipart("signed", protocol="application/pgp-signature", micalg="pgp-sha256")
    outer.attach(inner)
    sig = MIMEApplication(b"-----BEGIN PGP SIGNATURE-----\n\niQEz\n-----END PGP SIGNATURE-----\n",
                          "pgp-signature", _encoder=lambda m: None)
    sig.add_header("Content-Disposition", "attachment", filename="signature.asc")
    sig["Content-Description"] = "OpenPGP digital signature"
    outer.attach(sig)
    return outer


def report(rnd, charset):
    outer = MIMEMultipart("report", report_type="delivery-status")
    outer.attach(legacy_text_part(SAMPLES[charset][2] + "\nThe message could not be delivered.\n", charset))
    status = MIMEBase("message", "delivery-status")
    status.set_payload([message_from_string("Reporting-MTA: dns; mx.example.com\n"),
                        message_from_string("Final-Recipient: rfc822; gone@example.org\n"
                                            "Action: failed\nStatus: 5.1.1\n")])
    outer.attach(status)
    original = MIMEText("original text\n", "plain", "us-ascii")
    original["Subject"] = "Original"
    original["From"] = "me@example.com"
    outer.attach(MIMEMessage(original))
    return outer


def legacy_message(rnd, index):
    charset = rnd.choice(HEADER_CHARSETS)
    body_charset = rnd.choice([charset, charset, "utf-16"])
    subject, name, _ = SAMPLES[charset]
    text = body_text(rnd, body_charset)
    shape = rnd.choice(["plain", "alternative", "mixed", "signed", "report", "nested", "rfc2231",
                        "digest"])
    if shape == "plain":
        msg = legacy_text_part(text, body_charset)
    elif shape == "alternative":
        msg = MIMEMultipart("alternative")
        msg.attach(legacy_text_part(text, body_charset))
        msg.attach(legacy_text_part(html_of(text), body_charset, "html"))
    elif shape == "signed":
        msg = signed(rnd, legacy_text_part(text, body_charset))
    elif shape == "report":
        msg = report(rnd, charset)
    elif shape == "digest":
        msg = MIMEMultipart("digest")
        for n in range(rnd.randrange(1, 4)):
            inner = legacy_text_part(f"digest entry {n}\n" + text, body_charset)
            inner["Subject"] = legacy_header(rnd, f"{subject} ({n})", charset)
            msg.attach(MIMEMessage(inner))
    elif shape == "nested":
        msg = MIMEMultipart("mixed")
        inner = MIMEMultipart("mixed")
        alt = MIMEMultipart("alternative")
        alt.attach(legacy_text_part(text, body_charset))
        alt.attach(legacy_text_part(html_of(text), body_charset, "html"))
        inner.attach(alt)
        att = MIMEApplication(random_bytes(rnd, rnd.randrange(10, 4000)))
        att.add_header("Content-Disposition", "attachment", filename=rnd.choice(FILE_NAMES[:4]).encode("ascii", "replace").decode())
        inner.attach(att)
        msg.attach(inner)
        msg.attach(MIMEApplication(random_bytes(rnd, 300), Name="plain.bin"))
    else:
        msg = MIMEMultipart("mixed")
        msg.attach(legacy_text_part(text, body_charset))
        for _ in range(rnd.randrange(1, 4)):
            file_name = rnd.choice(FILE_NAMES)
            att = MIMEApplication(random_bytes(rnd, rnd.randrange(0, 3000)))
            name_charset = "utf-8"
            try:
                file_name.encode(charset)
                # Big5's rows of Cyrillic and kana are an extension that converters map
                # differently; a name in those rows would compare the converters, not readers.
                name_charset = charset if charset not in ("iso-2022-jp", "big5") else "utf-8"
            except UnicodeEncodeError:
                pass
            att.add_header("Content-Disposition", "attachment", filename=(name_charset, "", file_name))
            msg.attach(att)
    msg["Subject"] = legacy_header(rnd, long_subject(rnd, subject, index), charset)
    if charset in HAND_WORDS:
        msg["From"] = f"{phrase_words(name, charset, rnd)} <sender@example.com>"
    else:
        msg["From"] = formataddr((name, "sender@example.com"), charset=charset)
    people = random_people(rnd, charset, rnd.randrange(1, 5))
    msg["To"] = ", ".join(formataddr((n, a), charset="utf-8") for n, a in people)
    msg["Date"] = format_datetime(random_date(rnd))
    return f"compat32-{shape}-{charset}-{body_charset}", msg.as_bytes(policy=policy.compat32.clone(linesep="\r\n"))


# ----- hand-written messages ------------------------------------------------------------------

def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("latin-1") if isinstance(text, str) else text


def hand_written():
    """(label, bytes, truth) for messages written by hand: odd but real shapes."""
    out = []
    head = "From: a@example.com\nTo: b@example.com\nDate: Tue, 12 Mar 2024 09:14:07 +0100\n"

    def add(label, text, truth=None):
        out.append((label, crlf(text) if isinstance(text, str) else text, truth or {}))

    add("base64-odd-lines", head + "Subject: odd base64\nContent-Type: application/octet-stream; name=x.bin\n"
        "Content-Transfer-Encoding: base64\n\nAAEC\nAwQFBg\ncICQoL\nDA0ODxA\n")
    add("base64-no-padding", head + "Subject: no padding\nContent-Type: text/plain; charset=utf-8\n"
        "Content-Transfer-Encoding: base64\n\n" + base64.b64encode("Grüße\n".encode()).decode().rstrip("=") + "\n")
    add("qp-stray-equals", head + "Subject: stray\nContent-Type: text/plain; charset=us-ascii\n"
        "Content-Transfer-Encoding: quoted-printable\n\na=b and 50% =zz =4 done\nsoft=\nbreak\n")
    add("utf16-with-bom", (crlf(head + "Subject: utf16\nContent-Type: text/plain; charset=utf-16\n"
                                "Content-Transfer-Encoding: base64\n\n") +
                           base64.encodebytes("Grüße aus Köln\nzweite Zeile\n".encode("utf-16")).replace(b"\n", b"\r\n")))
    add("utf16le-label", (crlf(head + "Subject: utf16le\nContent-Type: text/plain; charset=utf-16le\n"
                               "Content-Transfer-Encoding: base64\n\n") +
                          base64.encodebytes("Привет\n".encode("utf-16-le")).replace(b"\n", b"\r\n")))
    add("boundary-prefix-line", head + 'Subject: prefix\nContent-Type: multipart/mixed; boundary="XX"\n\n'
        "--XX\nContent-Type: text/plain\n\nline one\n--XXnot a delimiter\nline three\n"
        "--XX\nContent-Type: application/octet-stream; name=a.bin\n\nabc\n--XX--\n")
    add("epilogue-looks-like-part", head + 'Subject: epilogue\nContent-Type: multipart/mixed; boundary="b1"\n\n'
        "preamble\n--b1\nContent-Type: text/plain\n\nbody\n--b1--\n--b1\nContent-Type: text/plain\n\nnot a part\n")
    add("quoted-escapes", "From: \"Doe, \\\"JD\\\" John\" <jd@example.com>\nTo: \"A \\\\ B\" <ab@example.com>, "
        "undisclosed-recipients:;\nCc: Team: x@example.com, \"Y Z\" <y@example.com>;, w@example.com\n"
        "Subject: escapes\nDate: Tue, 12 Mar 2024 09:14:07 +0100\n\nbody\n")
    # Names and addresses of every length from 1 to 40 with a quote, an escape, a space or a
    # non-ASCII letter at different places: a list reader that takes texts a block at a time
    # must find them at the start, middle and end of a block alike. The header is raw UTF-8,
    # which Python's reading of message bytes keeps as escaped bytes: the truth is Python's
    # reading of the same header as text.
    people = []
    for length in range(1, 41):
        at = [0, length // 2, length - 1][length % 3]
        special = ['\\"', " ", "é", "\\\\"][length % 4]
        if special == " ":
            at = min(max(at, 1), length - 2)  # inside: the ends of a name are trimmed
        name = "n" * length
        if at >= 0:
            name = name[:at] + special + name[at + 1:]
        people.append(f'"{name}" <{"a" * length}.{length}@example.com>')
        people.append(f'{"b" * length}@example.org')
        people.append(f'Plain {"c" * length} Name <c{length}@example.net>')
        people.append(f'{"d" * length} =?utf-8?Q?=C3=A9t=C3=A9?= <d{length}@example.net>')
        people.append(f'{"f" * length} =?utf-8?Q?x?= <f{length}@example.net>')
    to = ",\n ".join(people)
    add("address-lengths", ("From: a@example.com\nTo: " + to + "\nSubject: lengths\n"
                            "Date: Tue, 12 Mar 2024 09:14:07 +0100\n"
                            "Content-Type: text/plain; charset=utf-8\n\nbody\n").encode().replace(b"\n", b"\r\n"),
        {"to": {"reason": "raw-utf8-header",
                "value": [[a.display_name, a.addr_spec] for a in
                          policy.default.header_factory("To", to.replace("\n", "")).addresses]}})
    add("comment-name", "From: jd@example.com (John Doe)\nTo: b@example.com\nSubject: comment\n"
        "Date: Tue, 12 Mar 2024 09:14:07 +0100\n\nbody\n",
        {"from": {"reason": "comment-as-name", "value": [["John Doe", "jd@example.com"]]}})
    for label, date, value in [
        ("date-lowercase-month", "tue, 12 mar 2024 09:14:07 +0100", None),
        ("date-est", "Tue, 12 Mar 2024 09:14:07 EST", None),
        ("date-pdt", "Fri, 5 Jul 2024 23:14:07 PDT", None),
        ("date-two-digit-year", "12 Mar 99 09:14 +0000", None),
        ("date-rfc850", "Tuesday, 12-Mar-24 09:14:07 GMT", None),
        ("date-no-weekday-dst", "31 Mar 2024 01:30:00 +0000", None),
        ("date-winter", "Sun, 31 Oct 2021 23:30:00 +0000", None),
    ]:
        add(label, f"From: a@example.com\nTo: b@example.com\nSubject: {label}\nDate: {date}\n\nbody\n")
    add("adjacent-words", head + "Subject: =?utf-8?B?0L3QsNC/?= =?utf-8?B?0YDQsNCy0LvRj9C10Lw=?=\n\nbody\n")
    split = "Grüße".encode()
    add("word-split-in-char", head + "Subject: =?utf-8?B?" + base64.b64encode(split[:3]).decode() + "?= =?utf-8?B?" +
        base64.b64encode(split[3:]).decode() + "?=\n\nbody\n",
        {"subject": {"reason": "split-character-joined", "value": "Grüße"}})
    add("raw-latin1-header", crlf(head + "Subject: Gr") + b"\xfc\xdf" + crlf("e\nFrom2: x\n\nbody\n"),
        {"subject": {"reason": "raw-8bit-header", "value": "Grüße"}})
    add("unknown-charset-word", head + "Subject: =?x-unknown?Q?caf=E9?=\nContent-Type: text/plain; charset=x-unknown\n"
        "Content-Transfer-Encoding: quoted-printable\n\ncaf=E9 cr=E8me\n",
        {"subject": {"reason": "unknown-charset", "value": "café"},
         "plain": {"reason": "unknown-charset", "value": "café crème"}})
    add("nul-in-header-word", head + "Subject: =?utf-8?Q?a=00b?=\n\nbody\n",
        {"subject": {"reason": "nul-in-header", "value": "ab"}})
    add("nul-in-body", head + "Subject: nul\nContent-Type: text/plain; charset=us-ascii\n"
        "Content-Transfer-Encoding: quoted-printable\n\nbefore=00after\n")
    add("uuencoded-body", head + "Subject: uu\n\nHello,\nbegin 644 hi.txt\n#:&D*\n`\nend\nBye\n",
        {"plain": {"reason": "uuencode-split", "value": "Hello,\nBye"},
         "attachments": {"reason": "uuencode-split", "value": [{"name": "hi.txt", "bytes": "hi\n"}]}})
    add("footer-appended", head + 'Subject: footer\nContent-Type: multipart/mixed; boundary="f"\n\n'
        "--f\nContent-Type: text/plain; charset=utf-8\n\nThe message\n--f\nContent-Type: text/plain; charset=us-ascii\n"
        "Content-Disposition: inline\n\n-- \nlist footer\n--f--\n",
        {"plain": {"reason": "appended-inline-text", "value": "The message\n-- \nlist footer"},
         "attachments": {"reason": "appended-inline-text", "value": []}})
    add("apple-split-html", head + 'Subject: split\nContent-Type: multipart/alternative; boundary="a"\n\n'
        "--a\nContent-Type: text/plain\n\nplain version\n"
        '--a\nContent-Type: multipart/related; boundary="r"\n\n'
        '--r\nContent-Type: multipart/mixed; boundary="m"\n\n'
        "--m\nContent-Type: text/html\n\n<p>before</p>\n"
        "--m\nContent-Type: image/png\nContent-Disposition: inline; filename=pic.png\nContent-ID: <p1>\n\nPNG\n"
        "--m\nContent-Type: text/html\n\n<p>after</p>\n--m--\n--r--\n--a--\n",
        {"html": {"reason": "appended-inline-text", "value": "<p>before</p>\n<p>after</p>"},
         "attachments": {"reason": "appended-inline-text", "value": [{"name": "pic.png", "bytes": "PNG"}]}})
    add("empty-text-part", head + 'Subject: empty\nContent-Type: multipart/mixed; boundary="e"\n\n'
        "--e\nContent-Type: text/plain\n\n\n--e\nContent-Type: application/pdf; name=doc.pdf\n\n%PDF\n--e--\n",
        {"plain": {"reason": "empty-text-is-nothing", "value": None}})
    add("named-inline-text", head + 'Subject: named\nContent-Type: multipart/mixed; boundary="n"\n\n'
        "--n\nContent-Type: text/plain; name=notes.txt\nContent-Disposition: inline; filename=notes.txt\n\n"
        "file text\n--n--\n",
        {"plain": {"reason": "named-text-is-file", "value": None},
         "attachments": {"reason": "named-text-is-file", "value": [{"name": "notes.txt", "bytes": "file text"}]}})
    add("base64-equals-mid-stream", head + "Subject: b64 mid\nContent-Type: application/octet-stream; name=m.bin\n"
        "Content-Transfer-Encoding: base64\n\nAAE=\nAgM=\n",
        {"attachments": {"reason": "base64-after-padding", "value": [{"name": "m.bin", "bytes": "\x00\x01\x02\x03"}]}})
    add("rfc2231-continuations", head + 'Subject: 2231\nContent-Type: multipart/mixed; boundary="c"\n\n'
        "--c\nContent-Type: text/plain\n\nsee file\n--c\nContent-Type: application/octet-stream\n"
        "Content-Disposition: attachment;\n filename*0*=UTF-8''r%C3%A9sum%C3%A9%20;\n filename*1*=fin%C3%A1l;\n"
        " filename*2=\".docx\"\n\nDOC\n"
        "--c\nContent-Type: application/octet-stream; name=\"old.bin\"; name*=iso-8859-1''n%E4me.bin\n\nX\n--c--\n",
        {"attachments": {"reason": "extended-parameter-wins", "value": [
            {"name": "résumé finál.docx", "bytes": "DOC"}, {"name": "näme.bin", "bytes": "X"}]}})
    add("filename-beats-name", head + 'Subject: fn\nContent-Type: multipart/mixed; boundary="d"\n\n'
        "--d\nContent-Type: text/plain\n\nhi\n--d\nContent-Type: application/pdf; name=\"type-name.pdf\"\n"
        "Content-Disposition: attachment; filename=\"disp-name.pdf\"\n\nPDF\n--d--\n")
    add("encoded-word-name-param", head + 'Subject: ew name\nContent-Type: multipart/mixed; boundary="w"\n\n'
        "--w\nContent-Type: text/plain\n\nhi\n--w\nContent-Type: application/octet-stream;\n"
        " name=\"=?koi8-r?B?" + base64.b64encode("отчёт.doc".encode("koi8-r")).decode() + "?=\"\n\nDOC\n--w--\n")
    add("missing-close-delimiter", head + 'Subject: cut\nContent-Type: multipart/mixed; boundary="z"\n\n'
        "--z\nContent-Type: text/plain\n\nfirst\n--z\nContent-Type: application/octet-stream; name=t.bin\n\ntail")
    add("latin1-body-no-charset", crlf(head + "Subject: nocharset\nContent-Type: text/plain\n"
                                       "Content-Transfer-Encoding: 8bit\n\nK") + b"\xf6ln\r\n",
        {"plain": {"reason": "unlabelled-8bit-as-windows-1252", "value": "Köln"}})
    add("digest-default-type", head + 'Subject: digest\nContent-Type: multipart/digest; boundary="g"\n\n'
        "--g\n\nSubject: first\nFrom: x@example.com\n\none\n--g\n\nSubject: =?utf-8?Q?zw=C3=B6lf?=\n\ntwo\n--g--\n")
    add("charset-label-forms", head + 'Subject: labels\nContent-Type: multipart/alternative; boundary="l"\n\n'
        '--l\nContent-Type: TEXT/PLAIN; CHARSET="ISO-8859-1"\nContent-Transfer-Encoding: QUOTED-PRINTABLE\n\nK=F6ln\n'
        "--l\nContent-Type: text/html; charset='utf-8'\n\n<p>x</p>\n--l--\n")
    add("quoted-encoded-name", "From: \"=?iso-8859-1?Q?M=FCller=2C_J=F6rg?=\" <j@example.de>\n"
        "To: J\xf6rg =?utf-8?Q?M=C3=BCller?= <m@example.de>, trailing@example.com,\n"
        "Cc: Empty Group: ;, <@relay.example:routed@example.com>\nSubject: Re: [list] =?UTF-8?b?w7xiZXI=?= (fwd)\n"
        "Date: Tue, 12 Mar 2024 09:14 +0100 (CET)\n\nbody\n",
        {"to": {"reason": "raw-8bit-header", "value": [["Jörg Müller", "m@example.de"], ["", "trailing@example.com"]]}})
    add("mixed-charset-words", head + "Subject: =?iso-8859-1?Q?caf=E9?= =?koi8-r?B?8NLJ?=\t=?utf-8?Q?_=E2=82=AC?=\n\nbody\n")
    add("word-inside-text", head + "Subject: abc=?utf-8?Q?x?=def and (=?utf-8?Q?y?=)\n\nbody\n")
    add("lower-case-fields", "from: a@example.com\nto: b@example.com\nsubject: small\ndate: Tue, 12 Mar 2024 09:14:07 UT\n"
        'mime-version: 1.0\ncontent-type: multipart/mixed;\n\tboundary="=_x y"\n\npreamble\n--=_x y  \n'
        "content-type: text/plain; charset=latin1\ncontent-transfer-encoding: quoted-printable\n\nK=F6ln =  \nend=\n\n"
        '--=_x y\ncontent-type: image/gif\ncontent-disposition: inline; filename="=?utf-8?B?QmlsZCDDvC5naWY=?="\n'
        "content-transfer-encoding: base64\n\nR0lG ODlh\nAQAB\n--=_x y--\n",
        {"plain": {"reason": "qp-padding-before-soft-break", "value": "Köln end"}})
    add("korean-outlook", crlf(head + "Subject: =?ks_c_5601-1987?B?" +
        base64.b64encode("회의 자료".encode("cp949")).decode() + "?=\nContent-Type: text/plain; charset=\"ks_c_5601-1987\"\n"
        "Content-Transfer-Encoding: base64\n\n" + base64.b64encode("안녕하세요\n".encode("cp949")).decode() + "\n"))
    add("charset-aliases", head + 'Subject: aliases\nContent-Type: multipart/mixed; boundary="q"\n\n'
        "--q\nContent-Type: text/plain; charset=utf8\nContent-Transfer-Encoding: base64\n\n" +
        base64.b64encode("Grüße\n".encode()).decode() + "\n--q\nContent-Type: text/plain; charset=cp1252\n"
        "Content-Transfer-Encoding: quoted-printable\n\n=80 5\n--q--\n",
        {"plain": {"reason": "appended-inline-text", "value": "Grüße\n€ 5"},
         "attachments": {"reason": "appended-inline-text", "value": []}})
    add("rfc2231-unordered", head + 'Subject: unordered\nContent-Type: multipart/mixed; boundary="u"\n\n'
        "--u\nContent-Type: text/plain\n\nx\n--u\nContent-Type: application/octet-stream\n"
        "Content-Disposition: attachment; filename*1=\"two.txt\"; filename*0*=utf-8'en'%C3%A9t%C3%A9-\n\nZ\n--u--\n")
    add("rfc822-base64", head + 'Subject: fwd b64\nContent-Type: multipart/mixed; boundary="v"\n\n'
        "--v\nContent-Type: text/plain\n\nsee\n--v\nContent-Type: message/rfc822\nContent-Transfer-Encoding: base64\n\n" +
        base64.encodebytes(b"Subject: inner b64\r\n\r\nhello\r\n").decode() + "--v--\n",
        {"attachments": {"reason": "encoded-attached-message", "value": [{"name": None, "subject": "inner b64"}]}})
    add("koi8-subject-sender", head.replace("From: a@example.com", "From: =?KOI8-R?B?" +
        base64.b64encode("Сергей".encode("koi8-r")).decode() + "?= <s@example.ru>") +
        "Subject: =?koi8-r?Q?" + "".join(f"={b:02X}" for b in "Отчёт".encode("koi8-r")) + "?=\n\nbody\n")
    return out


def main(argv):
    target = Path(argv[1])
    seed = 13
    count = 300
    if "--seed" in argv:
        seed = int(argv[argv.index("--seed") + 1])
    if "--count" in argv:
        count = int(argv[argv.index("--count") + 1])
    rnd = random.Random(seed)
    target.mkdir(parents=True, exist_ok=True)
    truth = {}
    number = 0

    def write(label, data, facts=None):
        nonlocal number
        number += 1
        name = f"{number:04d}-{label}"
        (target / f"{name}.eml").write_bytes(data)
        if facts:
            truth[name] = facts

    for i in range(count):
        maker = modern_message if i % 2 == 0 else legacy_message
        label, data = maker(rnd, i)
        write(label, data)
    for label, data, facts in hand_written():
        write("hand-" + label, data, facts)
    (target / "truth.json").write_text(json.dumps(truth, ensure_ascii=False, indent=1))


if __name__ == "__main__":
    main(sys.argv)
