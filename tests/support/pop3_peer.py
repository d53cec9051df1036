#!/usr/bin/env python3
"""Reads every message of a POP3 mailbox with Python's poplib, as another mail program
sees it, without deleting anything: writes message n to OUTDIR/n.eml (lines joined with
CR LF, the dot-stuffing undone by poplib) and its unique id to OUTDIR/n.uidl.

usage: pop3_peer.py HOST PORT USER PASSWORD OUTDIR
"""
import os
import poplib
import sys

poplib._MAXLINE = 1 << 24


def main():
    host, port, user, password, outdir = sys.argv[1:6]
    os.makedirs(outdir, exist_ok=True)
    box = poplib.POP3(host, int(port), timeout=60)
    box.user(user)
    box.pass_(password)
    count, _ = box.stat()
    ids = {}
    for line in box.uidl()[1]:
        number, uid = line.split(b" ", 1)
        ids[int(number)] = uid
    for n in range(1, count + 1):
        _, lines, _ = box.retr(n)
        with open(os.path.join(outdir, "%d.eml" % n), "wb") as f:
            f.write(b"".join(line + b"\r\n" for line in lines))
        with open(os.path.join(outdir, "%d.uidl" % n), "wb") as f:
            f.write(ids.get(n, b""))
    box.quit()
    print(count)


if __name__ == "__main__":
    main()
