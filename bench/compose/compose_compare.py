"""The compose benchmark's inputs and timing (run by scripts/bench-compose.sh).

  compose_compare.py generate DIR SET
      writes DIR/view.eml (about 20 MB: an HTML body with embedded pictures and 200
      attachments), DIR/attachment.bin (20 MB) and DIR/attachment.eml (a message carrying
      attachment.bin, the file the peer parses beside our save), all with Python's email
      package. Set 2 has another seed and shape (attachments of very different sizes, some
      quoted-printable text, a longer HTML body).
  compose_compare.py compare ROUNDS PROGRAM HOME DIR
      times `PROGRAM view HOME DIR/view.eml` and `PROGRAM save HOME DIR/attachment.bin`,
      each beside `python3 -c "import email; email.message_from_bytes(...)"` on the same
      message, in turns (the order turning round by round). Every run of ours is checked
      before it counts: the view reports the 200 attachments and the pictures written; the
      saved file is read back by Python and its attachment compared with attachment.bin.
      Prints the median and spread of wall and CPU time of both sides and both ratios
      (target <= 2.0); exits 1 when a run failed its check.
"""
import email
import email.policy
import hashlib
import os
import random
import resource
import statistics
import subprocess
import sys
import time
from email.message import EmailMessage

ATTACHMENTS = 200
PICTURES = 6
TARGET = 2.0
PEER = "import email,sys; email.message_from_bytes(open(sys.argv[1],'rb').read())"


def png_like(rng, size):
    return b"\x89PNG\r\n\x1a\n" + rng.randbytes(size - 8)


def generate(directory, set_number):
    rng = random.Random(1717 if set_number == 1 else 9090)
    os.makedirs(directory, exist_ok=True)
    msg = EmailMessage()
    msg["From"] = "Ann Sender <ann@example.org>"
    msg["To"] = "Me Myself <me@example.org>"
    msg["Subject"] = "Quarterly material, set %d" % set_number
    msg["Date"] = "Tue, 01 Dec 2026 10:00:00 +0000"
    msg["Message-ID"] = "<bench-view-%d@example.org>" % set_number
    paragraphs = 40 if set_number == 1 else 2000
    html = ["<html><body><h1>Material</h1>"]
    for i in range(paragraphs):
        html.append("<p>Paragraph %d with <b>bold</b> and <i>italic</i> words, %s.</p>"
                    % (i, " ".join("word%d" % rng.randrange(1000) for _ in range(12))))
    for i in range(PICTURES):
        html.append('<p><img src="cid:picture%d@example.org"></p>' % i)
    html.append("</body></html>")
    html = "\n".join(html)
    msg.set_content("The material is in the attachments.\n")
    msg.add_alternative(html, subtype="html")
    html_part = msg.get_payload()[1]
    for i in range(PICTURES):
        html_part.add_related(png_like(rng, 20000), "image", "png",
                              cid="<picture%d@example.org>" % i, disposition="inline",
                               filename="picture%d.png" % i)
    # About 20 MB in all: 200 attachments sharing ~14.5 MB of data (base64 adds a third).
    budget = 14_500_000
    if set_number == 1:
        sizes = [budget // ATTACHMENTS] * ATTACHMENTS
    else:
        weights = [rng.choice([1, 1, 1, 5, 40]) for _ in range(ATTACHMENTS)]
        sizes = [max(200, budget * w // sum(weights)) for w in weights]
    for i, size in enumerate(sizes):
        if set_number == 2 and i % 4 == 0:
            text = "".join("Zeile %d: Grüße, naïve café ñ — %d\n" % (n, rng.randrange(10**6))
                           for n in range(size // 40))
            msg.add_attachment(text, subtype="plain", cte="quoted-printable",
                               filename="notes-%03d.txt" % i)
        else:
            msg.add_attachment(rng.randbytes(size), maintype="application",
                               subtype="octet-stream", filename="data-%03d.bin" % i)
    with open(os.path.join(directory, "view.eml"), "wb") as f:
        f.write(msg.as_bytes(policy=email.policy.SMTP))

    data = rng.randbytes(20 * 1000 * 1000)
    with open(os.path.join(directory, "attachment.bin"), "wb") as f:
        f.write(data)
    carrier = EmailMessage()
    carrier["From"] = "Me Myself <me@example.org>"
    carrier["To"] = "Bob <bob@example.net>"
    carrier["Subject"] = "The figures"
    carrier.set_content("Here they are.\n")
    carrier.add_attachment(data, maintype="application", subtype="octet-stream",
                           filename="attachment.bin")
    with open(os.path.join(directory, "attachment.eml"), "wb") as f:
        f.write(carrier.as_bytes(policy=email.policy.SMTP))


def expected_attachments(path):
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    return sum(1 for part in msg.walk() if part.get_content_disposition() == "attachment")


def timed(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if result.returncode != 0:
        raise SystemExit("bench-compose: %s failed (%d): %s" % (
            " ".join(command), result.returncode, result.stderr.decode(errors="replace")[:400]))
    return wall, cpu, result.stdout.decode()


def check_view(output, attachments):
    values = dict(item.split("=") for item in output.split())
    if int(values["attachments"]) != attachments or int(values["pictures"]) != PICTURES \
            or int(values["html"]) == 0:
        raise SystemExit("bench-compose: the view run found %s, expected attachments=%d "
                         "pictures=%d and an HTML body" % (output.strip(), attachments, PICTURES))


def check_save(output, digest):
    path = output.strip()
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    found = [part.get_content() for part in msg.walk()
             if part.get_content_disposition() == "attachment"]
    os.remove(path)
    if len(found) != 1 or hashlib.sha256(found[0]).hexdigest() != digest:
        raise SystemExit("bench-compose: the saved message %s does not carry the attachment's "
                         "bytes" % path)


def line(name, samples):
    walls = [w for w, _ in samples]
    cpus = [c for _, c in samples]
    print("  %-34s wall %.3f s (%.3f-%.3f)  cpu %.3f s (%.3f-%.3f)" % (
        name, statistics.median(walls), min(walls), max(walls),
        statistics.median(cpus), min(cpus), max(cpus)))
    return statistics.median(walls), statistics.median(cpus)


def compare(rounds, program, home, directory):
    view = os.path.join(directory, "view.eml")
    attachment = os.path.join(directory, "attachment.bin")
    carrier = os.path.join(directory, "attachment.eml")
    attachments = expected_attachments(view)
    with open(attachment, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    peer = [sys.executable, "-c", PEER]
    measures = [
        ("opening in the view window", [program, "view", home, view], peer + [view],
         lambda out: check_view(out, attachments), view),
        ("saving with a 20 MB attachment", [program, "save", home, attachment], peer + [carrier],
         lambda out: check_save(out, digest), carrier),
    ]
    met = True
    for name, ours, theirs, check, parsed in measures:
        samples = {"ours": [], "peer": []}
        for r in range(rounds):
            order = ["ours", "peer"] if r % 2 == 0 else ["peer", "ours"]
            for side in order:
                wall, cpu, out = timed(ours if side == "ours" else theirs)
                if side == "ours":
                    check(out)
                samples[side].append((wall, cpu))
        print("%s (peer parses %s, %d bytes; %d rounds)" % (
            name, os.path.basename(parsed), os.path.getsize(parsed), rounds))
        wall_ours, cpu_ours = line("pelmora", samples["ours"])
        wall_peer, cpu_peer = line("python email.message_from_bytes", samples["peer"])
        wall_ratio, cpu_ratio = wall_ours / wall_peer, cpu_ours / cpu_peer
        ok = wall_ratio <= TARGET and cpu_ratio <= TARGET
        met = met and ok
        print("  ratio wall %.2fx  cpu %.2fx  (target <= %.1fx: %s)" % (
            wall_ratio, cpu_ratio, TARGET, "met" if ok else "NOT met"))
    return met


def main(argv):
    if len(argv) == 4 and argv[1] == "generate":
        generate(argv[2], int(argv[3]))
        return 0
    if len(argv) == 6 and argv[1] == "compare":
        compare(int(argv[2]), argv[3], argv[4], argv[5])
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
