"""The peer side of the transport benchmark: the same work done with Python's poplib and
smtplib. Prints the wall time of the work in seconds (interpreter start-up excluded)."""
import os
import poplib
import smtplib
import sys
import time


def pop3(port, user, password):
    start = time.perf_counter()
    box = poplib.POP3("127.0.0.1", port)
    box.user(user)
    box.pass_(password)
    count = len(box.list()[1])
    total = 0
    for n in range(1, count + 1):
        lines = box.retr(n)[1]
        total += sum(len(line) + 2 for line in lines)
    box.quit()
    print("%.6f %d %d" % (time.perf_counter() - start, count, total))


def smtp(port, directory):
    names = sorted(os.listdir(directory), key=lambda n: int(n.split(".")[0]))
    texts = []
    for name in names:
        with open(os.path.join(directory, name), "rb") as f:
            texts.append(f.read())
    start = time.perf_counter()
    server = smtplib.SMTP("127.0.0.1", port)
    server.ehlo()
    for text in texts:
        server.sendmail("ann@example.org", ["bob@example.org"], text)
    server.quit()
    print("%.6f %d" % (time.perf_counter() - start, len(texts)))


if __name__ == "__main__":
    if sys.argv[1] == "pop3":
        pop3(int(sys.argv[2]), sys.argv[3], sys.argv[4])
    else:
        smtp(int(sys.argv[2]), sys.argv[3])
