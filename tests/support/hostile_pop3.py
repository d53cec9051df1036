#!/usr/bin/env python3
"""A POP3 server on 127.0.0.1 that misbehaves in one chosen way, for tests that run the
program against it. One mailbox with one message; connections are served one after the
other until the process is stopped. Every command received is written to the transcript
file (one line each, flushed at once), so a test can tell whether a message was deleted;
the message as a client should store it (every line ended by CR LF, the dot-stuffing undone)
is written beside it, to TRANSCRIPT.eml, before the first connection is taken.

usage: hostile_pop3.py MODE PORT TRANSCRIPT [SIZE]

modes:
  huge-size       LIST gives the message 100000000000000 bytes; the message itself is small
  wrapping-size   LIST gives it 5000000000000000000 bytes
  oversize        LIST says 1000 bytes; RETR sends SIZE bytes of text (default 300 MB)
  trickle         RETR sends its status line, then one byte every 0.4 s without end
  endless-list    LIST never ends
  garbage-list    LIST is unreadable
  split-greeting  the greeting arrives in four pieces, split inside "+OK" and between CR
                  and LF; the rest is well-behaved
  bare-lf         every line the server sends ends with a bare LF, the message's as well
  big             a well-behaved server with one message of SIZE bytes (default 200 MB) of
                  plain text lines
  big-attachment  the same with a multipart message of about SIZE bytes written by Python's
                  email package: a short text and a base64 attachment of random bytes
"""
import socket
import sys
import time

MESSAGE = (
    b"From: Ann <ann@example.net>\r\n"
    b"To: me@example.org\r\n"
    b"Subject: hostile\r\n"
    b"Date: Thu, 10 Dec 2026 10:00:00 +0000\r\n"
    b"Message-ID: <hostile@example.net>\r\n"
    b"\r\n"
    b"First line.\r\n"
    b".A line that begins with a dot.\r\n"
    b"Last line.\r\n"
)


def big_message(size):
    """A message of exactly size bytes (at least a few hundred): a header and lines of text,
    none of which begins with a dot."""
    head = MESSAGE.split(b"\r\n\r\n", 1)[0] + b"\r\n\r\n"
    line = b"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ab\r\n"
    count, rest = divmod(size - len(head), len(line))
    if rest == 1:
        count, rest = count - 1, rest + len(line)
    tail = b"x" * (rest - 2) + b"\r\n" if rest else b""
    return head + line * count + tail


def big_attachment_message(size):
    """A multipart/mixed message of about size bytes as Python's email package writes it."""
    import email.policy
    import random
    from email.message import EmailMessage
    message = EmailMessage(policy=email.policy.SMTP)
    message["From"] = "Ann <ann@example.net>"
    message["To"] = "me@example.org"
    message["Subject"] = "the whole archive"
    message["Date"] = "Thu, 10 Dec 2026 10:00:00 +0000"
    message["Message-ID"] = "<big-attachment@example.net>"
    message.set_content("The archive is attached.\n")
    payload = random.Random(7).randbytes(size * 3 // 4 - 4096)
    message.add_attachment(payload, maintype="application", subtype="zip",
                           filename="archive.zip")
    return message.as_bytes()


def stuffed(text):
    """The message as sent after RETR: dot-stuffed, with the end line."""
    lines = text.split(b"\r\n")
    if lines and lines[-1] == b"":
        lines.pop()
    out = b"".join((b"." + l if l.startswith(b".") else l) + b"\r\n" for l in lines)
    return out + b".\r\n"


class Session:
    def __init__(self, conn, mode, size, transcript, message):
        self.conn = conn
        self.mode = mode
        self.size = size
        self.transcript = transcript
        self.pending = b""
        self.eol = b"\n" if mode == "bare-lf" else b"\r\n"
        self.message = message

    def say(self, text):
        self.conn.sendall(text.replace(b"\r\n", self.eol))

    def read_line(self):
        while b"\n" not in self.pending:
            chunk = self.conn.recv(65536)
            if not chunk:
                return None
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        line = line.rstrip(b"\r").decode("latin-1")
        self.transcript.write(line + "\n")
        self.transcript.flush()
        return line

    def listed_size(self):
        if self.mode == "huge-size":
            return 100000000000000
        if self.mode == "wrapping-size":
            return 5000000000000000000
        if self.mode == "oversize":
            return 1000
        return len(self.message)

    def send_message(self, header_only):
        if self.mode == "oversize" and not header_only:
            self.say(b"+OK\r\n")
            line = b"y" * 998 + b"\r\n"
            block = line * 1024
            sent = 0
            while sent < self.size:
                self.conn.sendall(block)
                sent += len(block)
            self.conn.sendall(b".\r\n")
            return
        if self.mode == "trickle" and not header_only:
            self.say(b"+OK\r\n")
            while True:
                self.conn.sendall(b"x")
                time.sleep(0.4)
        text = self.message
        if header_only:
            sep = b"\n\n" if self.mode == "bare-lf" else b"\r\n\r\n"
            text = text[:text.index(sep) + len(sep)]
        if self.mode == "bare-lf":
            lines = text.split(b"\n")[:-1]
            body = b"".join((b"." + l if l.startswith(b".") else l) + b"\n" for l in lines)
            self.conn.sendall(b"+OK\n" + body + b".\n")
            return
        self.conn.sendall(b"+OK " + str(len(text)).encode() + b" octets\r\n")
        if not self.mode.startswith("big"):
            self.conn.sendall(stuffed(text))
            return
        # A big message has no line that begins with a dot: it goes out as it is, in pieces,
        # so that no second copy of it is built here.
        view = memoryview(text)
        piece = 8 * 1024 * 1024
        for start in range(0, len(text), piece):
            self.conn.sendall(view[start:start + piece])
        self.conn.sendall(b".\r\n")

    def greet(self):
        if self.mode == "split-greeting":
            for piece in (b"+", b"OK rea", b"dy\r", b"\n"):
                self.conn.sendall(piece)
                time.sleep(0.2)
        else:
            self.say(b"+OK hostile POP3 ready\r\n")

    def listing(self):
        if self.mode == "endless-list":
            self.say(b"+OK\r\n")
            block = b"1 100\r\n" * 10000
            while True:
                self.conn.sendall(block)
        if self.mode == "garbage-list":
            self.say(b"+OK\r\nthis is not a listing\r\n.\r\n")
            return
        self.say(b"+OK 1 messages\r\n1 %d\r\n.\r\n" % self.listed_size())

    def run(self):
        self.greet()
        while True:
            line = self.read_line()
            if line is None:
                return
            words = line.split()
            verb = words[0].upper() if words else ""
            if verb in ("USER", "PASS", "NOOP", "RSET"):
                self.say(b"+OK\r\n")
            elif verb == "STAT":
                self.say(b"+OK 1 %d\r\n" % self.listed_size())
            elif verb == "LIST":
                self.listing()
            elif verb == "UIDL":
                uid = "%s-%d" % (self.mode, len(self.message))
                self.say(b"+OK\r\n1 " + uid.encode() + b"\r\n.\r\n")
            elif verb == "TOP":
                self.send_message(True)
            elif verb == "RETR":
                self.send_message(False)
            elif verb == "DELE":
                self.say(b"+OK deleted\r\n")
            elif verb == "QUIT":
                self.say(b"+OK bye\r\n")
                return
            else:
                self.say(b"-ERR unknown command\r\n")


def main():
    mode, port, transcript_path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    big = mode.startswith("big")
    default = 200 * 1024 * 1024 if big else 300 * 1024 * 1024
    size = int(sys.argv[4]) if len(sys.argv) > 4 else default
    message = MESSAGE
    if mode == "big":
        message = big_message(size)
    elif mode == "big-attachment":
        message = big_attachment_message(size)
    with open(transcript_path + ".eml", "wb") as copy:
        copy.write(message)
    if mode == "bare-lf":
        message = message.replace(b"\r\n", b"\n")
    # Listening starts once everything is ready, so a test waiting for the port may go on.
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", port))
    server.listen(4)
    with open(transcript_path, "a") as transcript:
        while True:
            conn, _ = server.accept()
            try:
                Session(conn, mode, size, transcript, message).run()
            except OSError:
                pass
            finally:
                conn.close()


if __name__ == "__main__":
    main()
