"""Runs the store benchmark beside its peers, in one run on the same files, and prints the
comparison. Driven by scripts/bench-store.sh, which builds store_bench and hands it here.

For each input set (store_inputs.h) it prints the inputs' sizes, then:
  - listing the folder index against `cat` of the same file, and the listing's peak memory
    against the file size;
  - sorting the listed rows by date;
  - rebuilding the folder from its message files against `mu index` and `notmuch new` on a
    Maildir holding the same files (hard links);
  - state change, move and delete of many selected rows.
Every side of a comparison runs once per round, the order turning round by round (ours
first in even rounds, last in odd ones), so that no side always meets a warmer cache. Each
run is a child process whose wall time and CPU time (user + system, from its own resource
usage) are taken; the table gives each side's median with its spread (smallest-largest)
and the ratio of the medians, for wall and CPU time alike.

Every run is checked before it counts, against what the other side of the check reads
itself: the rows listed against the records in the index file; the sorted dates against
the file's dates put in order here; the rows rebuilt and the index written (rows, sizes,
Message-IDs as Python's mail parser reads them) against the message files in the folder;
the messages mu and notmuch report against the same count; after the operations, the
message files and index records of the folders involved. A check that fails stops the
script with status 1 before any ratio is printed.

  store_compare.py STORE_BENCH DATA [--rounds N] [--set 1|2] [--only list|sort|rebuild|ops]
                   [--regenerate]
"""
import argparse
import email.parser
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RECORD = 1552
STRING = 256
SUB_ITEMS = 256  # offset of the first sub-item (date, address, subject, size, Message-ID)

# What each set holds; the data directory keeps the generated files while these stay the same.
SETS = {
    1: dict(rows=100000, messages=10000, ops=(1000, 10000),
            shape="inbox rows; mixed messages, one attachment now and then"),
    2: dict(rows=60000, messages=1500, ops=(500, 5000),
            shape="sent-folder rows with long UTF-8 subjects and many recipients; "
                  "large messages with 3-16 attachments and hundreds of recipients"),
}
GENERATION = "2"  # changes when the generators change: the inputs are written again

TARGETS = dict(list_vs_cat=2.0, list_memory=1.5, mu=4.0, notmuch=10.0)


class Failed(Exception):
    pass


# --- Running -----------------------------------------------------------------------------

class Run:
    def __init__(self, wall, cpu, peak_kb, out):
        self.wall, self.cpu, self.peak_kb, self.out = wall, cpu, peak_kb, out


def run(argv, out=subprocess.PIPE):
    """Runs a command to its end; its times come from its own resource usage (wait4)."""
    with open(os.devnull, "rb") as stdin, open(os.devnull, "wb") as devnull, \
            tempfile.TemporaryFile() as errors:
        start = time.perf_counter()
        child = subprocess.Popen(argv, stdin=stdin, stdout=devnull if out is None else out,
                                 stderr=errors)
        text = child.stdout.read() if child.stdout else b""
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode != 0:
            errors.seek(0)
            raise Failed(f"{' '.join(argv)} failed ({child.returncode}): "
                         f"{errors.read(400).decode(errors='replace')}")
    return Run(wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss,
               text.decode(errors="replace"))


class Samples:
    def __init__(self):
        self.wall, self.cpu, self.peak_kb = [], [], []

    def add(self, wall, cpu, peak_kb=0):
        self.wall.append(wall)
        self.cpu.append(cpu)
        self.peak_kb.append(peak_kb)


class Side:
    """One side of a comparison: `prepare` runs before each run (not timed); `check` gets the
    run and returns what is wrong with it, or None. A side whose output nobody reads writes it
    to /dev/null."""

    def __init__(self, name, argv, check, prepare=None, quiet=False):
        self.name, self.argv, self.check, self.prepare = name, argv, check, prepare
        self.out = None if quiet else subprocess.PIPE
        self.samples = Samples()


def alternate(rounds, sides):
    for round_number in range(rounds):
        order = sides if round_number % 2 == 0 else list(reversed(sides))
        for side in order:
            if side.prepare:
                side.prepare()
            result = run(side.argv, side.out)
            problem = side.check(result)
            if problem:
                raise Failed(f"{side.name}, round {round_number + 1}: {problem}")
            side.samples.add(result.wall, result.cpu, result.peak_kb)


def reported(text, name):
    """The fields of the line `name wall cpu count` that store_bench printed."""
    for line in text.splitlines():
        fields = line.split()
        if fields and fields[0] == name and len(fields) == 4:
            return float(fields[1]), float(fields[2]), int(fields[3])
    return None


# --- Printing ----------------------------------------------------------------------------

def spread(values, scale=1.0, digits=3):
    return (f"{statistics.median(values) * scale:.{digits}f} "
            f"({min(values) * scale:.{digits}f}-{max(values) * scale:.{digits}f})")


def compare(measure, ours, peer_name, theirs, target, faster):
    """Prints wall and CPU medians with their spread and the ratio of the medians: ours/peer
    (judged "<= target"), or with `faster` peer/ours, how many times faster we are (judged
    ">= target")."""
    print(f"{measure} (median of {len(ours.wall)} runs each, spread in brackets)")
    for kind in ("wall", "cpu"):
        mine, other = getattr(ours, kind), getattr(theirs, kind)
        ratio = (statistics.median(other) / statistics.median(mine) if faster
                 else statistics.median(mine) / statistics.median(other))
        met = ratio >= target if faster else ratio <= target
        what = "times faster" if faster else "ratio"
        print(f"  {kind:<4} pelmora {spread(mine)} s  {peer_name:<12} {spread(other)} s  "
              f"{what} {ratio:5.2f}  target {'>=' if faster else '<='} {target:g}: "
              f"{'met' if met else 'NOT met'}")
    sys.stdout.flush()


def alone(measure, samples, count=0):
    line = f"  wall {spread(samples.wall)} s  cpu {spread(samples.cpu)} s"
    if count:
        line += (f"  ({statistics.median(samples.wall) * 1e6 / count:.1f} us wall, "
                 f"{statistics.median(samples.cpu) * 1e6 / count:.1f} us cpu per row)")
    print(f"{measure} (median of {len(samples.wall)} runs, spread in brackets)\n{line}")
    sys.stdout.flush()


# --- Reading what was written, independently of store_bench -------------------------------

def index_records(path):
    """The records of an index file, one at a time: the driver stays small, since a child's
    peak memory as the kernel reports it includes the peak of the process that started it."""
    with open(path, "rb") as f:
        while True:
            record = f.read(RECORD)
            if not record:
                return
            if len(record) != RECORD:
                raise Failed(f"{path} is not a whole number of records")
            yield record


def field(record, number):
    """Text field `number` of a record: 0 the caption, 1 to 5 the sub-items."""
    at = 0 if number == 0 else SUB_ITEMS + (number - 1) * STRING
    return record[at + 1:at + 1 + record[at]]


class IndexSummary:
    """What an index file holds: rows, bytes of row texts, the sum of the size column, and
    when asked the date column and the Message-ID column."""

    def __init__(self, path, dates=False, ids=False):
        self.rows = self.text = self.sizes = 0
        self.dates, self.ids = [], []
        for record in index_records(path):
            self.rows += 1
            self.text += sum(len(field(record, k)) for k in range(6))
            self.sizes += int(field(record, 4) or b"0")
            if dates:
                self.dates.append(field(record, 1).decode())
            if ids:
                self.ids.append(field(record, 5).decode(errors="replace"))


def date_key(text):
    day, month, rest = text.split("-", 2)
    year, clock = rest.split(" ")
    hour, minute = clock.split(":")
    return int(year), int(month), int(day), int(hour), int(minute)


def message_files(folder):
    """Names of the message files of a store folder (not its index files)."""
    try:
        return [n for n in os.listdir(folder) if ".eml" in n]
    except FileNotFoundError:
        return []


def records_in(folder):
    path = os.path.join(folder, "tree.lst")
    return IndexSummary(path).rows if os.path.exists(path) else 0


# --- Inputs ------------------------------------------------------------------------------

def inputs(bench, data, number, regenerate):
    setting = SETS[number]
    base = os.path.join(data, f"set{number}")
    stamp = os.path.join(base, "inputs")
    wanted = f"{GENERATION} {setting['rows']} {setting['messages']}\n"
    written = ""
    if os.path.exists(stamp):
        with open(stamp) as f:
            written = f.read()
    if regenerate or written != wanted:
        shutil.rmtree(base, ignore_errors=True)
        os.makedirs(base)
        run([bench, "gen-index", os.path.join(base, "index"), str(setting["rows"]),
             str(number)])
        run([bench, "gen-mail", os.path.join(base, "home"), os.path.join(base, "maildir"),
             str(setting["messages"]), str(number)])
        with open(stamp, "w") as f:
            f.write(wanted)
    return base


def describe(number, base):
    setting = SETS[number]
    index = os.path.join(base, "index", "tree.lst")
    summary = IndexSummary(index, dates=True)
    inbox = os.path.join(base, "home", "Projects", "1000", "inbox")
    sizes = [os.path.getsize(os.path.join(inbox, n)) for n in message_files(inbox)]
    print(f"\nset {number}: {setting['shape']}")
    print(f"  index: {summary.rows:,} rows, {os.path.getsize(index) / 1e6:.1f} MB "
          f"({summary.text / 1e6:.1f} MB of row texts, {summary.text / summary.rows:.0f} bytes "
          f"a row)")
    print(f"  mail: {len(sizes):,} message files, {sum(sizes) / 1e6:.1f} MB "
          f"(average {statistics.mean(sizes) / 1e3:.1f} KB, largest {max(sizes) / 1e3:.1f} KB)")
    sys.stdout.flush()
    return summary


# --- Measures ----------------------------------------------------------------------------

def bytes_written(argv):
    with subprocess.Popen(argv, stdout=subprocess.PIPE) as child:
        total = 0
        while chunk := child.stdout.read(1 << 20):
            total += len(chunk)
    return total if child.returncode == 0 else -1


def bench_list(bench, base, summary, rounds):
    index_dir = os.path.join(base, "index")
    index = os.path.join(index_dir, "tree.lst")
    size = os.path.getsize(index)
    rows, text = summary.rows, summary.text
    # The whole listing once, compared in total with the file's own records.
    cells = run([bench, "check-index", index_dir]).out.split()
    if cells != ["cells", str(rows), str(text)]:
        raise Failed(f"listing holds {' '.join(cells)}, the index {rows} rows of {text} bytes")
    if bytes_written(["cat", index]) != size:
        raise Failed("cat did not write the whole index")

    def listed(result):
        got = reported(result.out, "list-index")
        return None if got and got[2] == rows else f"listed {got}, expected {rows} rows"

    ours = Side("list-index", [bench, "list-index", index_dir], listed)
    cat = Side("cat", ["cat", index], lambda result: None, quiet=True)
    alternate(rounds, [ours, cat])
    compare(f"list {rows:,} rows from the index vs cat", ours.samples, "cat", cat.samples,
            TARGETS["list_vs_cat"], faster=False)
    peaks = [kb * 1024 / size for kb in ours.samples.peak_kb]
    median = statistics.median(peaks)
    print(f"  peak memory of the listing: {spread(ours.samples.peak_kb, 1 / 1024, 1)} MB = "
          f"{median:.2f} ({min(peaks):.2f}-{max(peaks):.2f}) x the file; target <= "
          f"{TARGETS['list_memory']:g}: {'met' if median <= TARGETS['list_memory'] else 'NOT met'}"
          f" (the driver's own peak, a floor of these figures: "
          f"{resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024:.0f} MB)")


def bench_sort(bench, base, summary, rounds):
    index_dir = os.path.join(base, "index")
    dates_file = os.path.join(base, "sorted-dates")
    dates = summary.dates
    # A heading click on a new column sorts descending; rows of equal dates keep their order.
    expected = "".join(d + "\n" for d in sorted(dates, key=date_key, reverse=True))
    samples = Samples()
    for round_number in range(rounds):
        result = run([bench, "sort-index", index_dir, dates_file])
        got = reported(result.out, "sort-by-date")
        with open(dates_file) as f:
            written = f.read()
        if not got or got[2] != summary.rows or written != expected:
            raise Failed(f"sort, round {round_number + 1}: {got}, the dates "
                         f"{'are' if written == expected else 'are not'} in date order")
        samples.add(got[0], got[1])
    alone(f"sort {summary.rows:,} listed rows by date, inside the program", samples,
          summary.rows)


def bench_rebuild(bench, base, rounds):
    home = os.path.join(base, "home")
    maildir = os.path.join(base, "maildir")
    inbox = os.path.join(home, "Projects", "1000", "inbox")
    names = message_files(inbox)
    files = len(names)
    bytes_total = sum(os.path.getsize(os.path.join(inbox, n)) for n in names)
    # The Message-ID of every file as Python's mail parser reads it (this also brings the
    # files into the page cache: every side starts from the same warm cache).
    parser = email.parser.BytesHeaderParser()
    message_ids = []
    for name in names:
        with open(os.path.join(inbox, name), "rb") as f:
            message_ids.append(str(parser.parse(f)["Message-ID"]).strip())
            f.seek(0)
            f.read()
    message_ids.sort()
    if len(os.listdir(os.path.join(maildir, "cur"))) != files:
        raise Failed("the Maildir does not hold the folder's files")

    def clear_index():
        for name in ("tree.lst", "tree.cnt"):
            if os.path.exists(os.path.join(inbox, name)):
                os.remove(os.path.join(inbox, name))

    inside = Samples()

    def rebuilt(result):
        got = reported(result.out, "rebuild")
        if not got or got[2] != files:
            return f"rebuilt {got}, the folder holds {files} message files"
        written = IndexSummary(os.path.join(inbox, "tree.lst"), ids=True)
        if written.rows != files or written.sizes != bytes_total:
            return (f"the index written holds {written.rows} rows of {written.sizes} bytes, "
                    f"the folder {files} files of {bytes_total} bytes")
        if sorted(written.ids) != message_ids:
            return "the Message-IDs of the index written differ from the files' ones"
        inside.add(got[0], got[1])
        return None

    mu_home = os.path.join(base, "mu")

    def mu_init():
        shutil.rmtree(mu_home, ignore_errors=True)
        run(["mu", "init", f"--muhome={mu_home}", f"--maildir={maildir}"])

    def mu_indexed(result):
        info = run(["mu", "info", f"--muhome={mu_home}", "store"]).out
        count = [l for l in info.splitlines() if "messages in store" in l]
        got = count[0].split("|")[2].strip() if count else "?"
        return None if got == str(files) else f"mu holds {got} messages, expected {files}"

    config = os.path.join(base, "notmuch-config")
    with open(config, "w") as f:
        f.write(f"[database]\npath={maildir}\n[new]\ntags=unread;inbox;\n"
                "[user]\nname=Bench\nprimary_email=bench@example.org\n")

    def notmuch_clear():
        shutil.rmtree(os.path.join(maildir, ".notmuch"), ignore_errors=True)

    def notmuch_indexed(result):
        got = run(["notmuch", f"--config={config}", "count", "*"]).out.strip()
        return None if got == str(files) else f"notmuch holds {got} messages, expected {files}"

    ours = Side("rebuild", [bench, "rebuild", home], rebuilt, clear_index)
    mu = Side("mu index", ["mu", "index", f"--muhome={mu_home}", "--quiet"], mu_indexed, mu_init)
    notmuch = Side("notmuch new", ["notmuch", f"--config={config}", "new", "--quiet"],
                   notmuch_indexed, notmuch_clear)
    alternate(rounds, [ours, mu, notmuch])
    notmuch_clear()
    shutil.rmtree(mu_home, ignore_errors=True)
    what = f"rebuild a folder of {files:,} message files ({bytes_total / 1e6:.0f} MB)"
    compare(f"{what} vs mu index", ours.samples, "mu index", mu.samples, TARGETS["mu"],
            faster=True)
    compare(f"{what} vs notmuch new", ours.samples, "notmuch new", notmuch.samples,
            TARGETS["notmuch"], faster=True)
    print(f"  inside the program: wall {spread(inside.wall)} s, cpu {spread(inside.cpu)} s; "
          f"{files / statistics.median(ours.samples.wall):,.0f} messages/s as a whole process")


def bench_ops(bench, base, number, rounds):
    step = 1 if number == 1 else 2
    for count in SETS[number]["ops"]:
        home = os.path.join(base, "ops")
        samples = {"state-change": Samples(), "move": Samples(), "delete": Samples()}
        for round_number in range(rounds):
            shutil.rmtree(home, ignore_errors=True)
            os.makedirs(home)
            result = run([bench, "ops", home, str(count), str(number)])
            problem = ops_problem(result, home, count, step)
            if problem:
                raise Failed(f"ops of {count} rows, round {round_number + 1}: {problem}")
            for name, sample in samples.items():
                got = reported(result.out, name)
                sample.add(got[0], got[1])
        shutil.rmtree(home, ignore_errors=True)
        folder = f"a folder of {count * step:,}" + (", every second row" if step > 1 else "")
        for name, sample in samples.items():
            alone(f"{name.replace('-', ' ')} of {count:,} selected rows ({folder})", sample,
                  count)


def ops_problem(result, home, count, step):
    for name in ("state-change", "move", "delete"):
        got = reported(result.out, name)
        if not got or got[2] != count:
            return f"{name} reported {got}, expected {count} rows"
    projects = [p for p in os.listdir(os.path.join(home, "Projects")) if p.isdigit()]
    if len(projects) != 1:
        return f"expected one project, found {projects}"
    project = os.path.join(home, "Projects", projects[0])
    folders = {f: os.path.join(project, f) for f in ("inbox", "drafts", "trash")}
    kept = count * (step - 1)
    trash = message_files(folders["trash"])
    expected = {"inbox": kept, "drafts": 0, "trash": count}
    for folder, want in expected.items():
        files, records = len(message_files(folders[folder])), records_in(folders[folder])
        if files != want or records != want:
            return f"{folder} holds {files} files and {records} index rows, expected {want}"
    if any(not n.endswith(".emlf") for n in trash):
        return "a deleted message lost its flag"
    if any(n.endswith(".emlf") for n in message_files(folders["inbox"])):
        return "a row that was not selected was flagged"
    return None


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("bench")
    parser.add_argument("data")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--set", type=int, choices=(1, 2), default=0)
    parser.add_argument("--only", choices=("list", "sort", "rebuild", "ops"), default="")
    parser.add_argument("--regenerate", action="store_true")
    args = parser.parse_args(argv[1:])
    bench = os.path.abspath(args.bench)
    data = os.path.abspath(args.data)
    print(f"{args.rounds} rounds, sides alternating; load average "
          f"{' '.join(f'{v:.2f}' for v in os.getloadavg())}")
    try:
        for number in SETS:
            if args.set and number != args.set:
                continue
            base = inputs(bench, data, number, args.regenerate)
            summary = describe(number, base)
            if args.only in ("", "list"):
                bench_list(bench, base, summary, args.rounds)
            if args.only in ("", "sort"):
                bench_sort(bench, base, summary, args.rounds)
            if args.only in ("", "rebuild"):
                bench_rebuild(bench, base, args.rounds)
            if args.only in ("", "ops"):
                bench_ops(bench, base, number, args.rounds)
    except Failed as failure:
        print(f"store_compare: {failure}; no ratio from this measure", file=sys.stderr)
        return 1
    print(f"\nload average at the end: {' '.join(f'{v:.2f}' for v in os.getloadavg())}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
