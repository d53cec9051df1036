"""The peer side of the transport benchmark: the same work done with Python's poplib and
smtplib. Prints "WALL CPU COUNT [BYTES]": the wall and CPU seconds of the work (interpreter
start-up and the checks excluded), the number of messages and, for POP3, their bytes.

  peer_clients.py pop3 PORT USER PASSWORD EXPECTED_DIR
  peer_clients.py smtp PORT DIRECTORY [USER PASSWORD]

POP3 fetches every message, then compares the texts with the server's copies in
EXPECTED_DIR (as sets: the server numbers messages in an order of its own) and exits with
status 1 when they differ. SMTP sends every file of DIRECTORY, in the order of the numbers
in their names, over one connection, each from the address of its From to every address of
its To and Cc as Python's mail parser reads them (the caller checks what the server stored,
envelopes included)."""
import email.parser
import email.utils
import os
import poplib
import smtplib
import sys
import time


def pop3(port, user, password, expected_dir):
    start, cpu = time.perf_counter(), time.process_time()
    box = poplib.POP3("127.0.0.1", port)
    box.user(user)
    box.pass_(password)
    count = len(box.list()[1])
    fetched = []
    for n in range(1, count + 1):
        fetched.append(box.retr(n)[1])
    box.quit()
    wall, cpu = time.perf_counter() - start, time.process_time() - cpu
    texts = sorted(b"".join(line + b"\r\n" for line in lines) for lines in fetched)
    expected = []
    for name in os.listdir(expected_dir):
        with open(os.path.join(expected_dir, name), "rb") as f:
            expected.append(f.read())
    if texts != sorted(expected):
        sys.exit(f"poplib: the {len(texts)} messages fetched differ from the server's "
                 f"{len(expected)}")
    print("%.6f %.6f %d %d" % (wall, cpu, count, sum(len(t) for t in texts)))


def smtp(port, directory, login):
    names = sorted(os.listdir(directory), key=lambda n: int(n.split(".")[0]))
    parser = email.parser.BytesHeaderParser()
    mails = []
    for name in names:
        with open(os.path.join(directory, name), "rb") as f:
            text = f.read()
        head = parser.parsebytes(text)
        sender = email.utils.parseaddr(head["From"])[1]
        recipients = sorted({address for _, address in email.utils.getaddresses(
            head.get_all("To", []) + head.get_all("Cc", []))})
        mails.append((sender, recipients, text))
    start, cpu = time.perf_counter(), time.process_time()
    server = smtplib.SMTP("127.0.0.1", port)
    server.ehlo()
    if login:
        server.login(*login)
    for sender, recipients, text in mails:
        server.sendmail(sender, recipients, text)
    server.quit()
    print("%.6f %.6f %d" % (time.perf_counter() - start, time.process_time() - cpu, len(mails)))


if __name__ == "__main__":
    if sys.argv[1] == "pop3":
        pop3(int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5])
    else:
        smtp(int(sys.argv[2]), sys.argv[3], sys.argv[4:6] if len(sys.argv) > 5 else None)
