"""The smtplib side of the transfer benchmark: sends every file of a directory, in name order,
over one SMTP connection to 127.0.0.1, signing in first when a user name and password are
given. Prints the seconds it took (reading the files included, interpreter start-up not) and
the number of messages.

  peer_send.py PORT DIRECTORY [USER PASSWORD]"""
import os
import smtplib
import sys
import time


def main():
    port, directory = int(sys.argv[1]), sys.argv[2]
    start = time.perf_counter()
    names = sorted(os.listdir(directory))
    server = smtplib.SMTP("127.0.0.1", port)
    server.ehlo()
    if len(sys.argv) > 4:
        server.login(sys.argv[3], sys.argv[4])
    for name in names:
        with open(os.path.join(directory, name), "rb") as f:
            server.sendmail("me@example.org", ["bob@example.net"], f.read())
    server.quit()
    print("%.6f %d" % (time.perf_counter() - start, len(names)))


if __name__ == "__main__":
    main()
