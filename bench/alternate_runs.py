"""Times two or more programs in turns, the way the benchmark scripts compare Pelmora with a
peer: each round runs every side once, the order turning round by round so that no side
always meets a warmer cache; each run reads its input file on standard input and writes to
/dev/null. Prints one line per side:

  NAME  WALL_MEDIAN WALL_MIN WALL_MAX  CPU_MEDIAN CPU_MIN CPU_MAX  INPUT_BYTES

(seconds; CPU is user + system time of the process). A side that exits with an error stops
the script with status 1, so no ratio is printed from a failed run.

  alternate_runs.py ROUNDS NAME INPUT COMMAND [NAME INPUT COMMAND ...]

COMMAND is one argument, split like a shell would (no shell runs it).
"""
import os
import resource
import shlex
import statistics
import subprocess
import sys
import time


def run_once(command, path):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    with open(path, "rb") as source, open(os.devnull, "wb") as sink:
        start = time.perf_counter()
        result = subprocess.run(command, stdin=source, stdout=sink, stderr=subprocess.PIPE)
        wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode != 0:
        sys.exit(f"alternate_runs: {shlex.join(command)} failed ({result.returncode}): "
                 f"{result.stderr.decode(errors='replace')[:400]}")
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def main(argv):
    rounds = int(argv[1])
    sides = [(argv[i], argv[i + 1], shlex.split(argv[i + 2])) for i in range(2, len(argv), 3)]
    times = {name: ([], []) for name, _, _ in sides}
    for round_number in range(rounds):
        order = sides if round_number % 2 == 0 else list(reversed(sides))
        for name, path, command in order:
            wall, cpu = run_once(command, path)
            times[name][0].append(wall)
            times[name][1].append(cpu)
    for name, path, _ in sides:
        walls, cpus = times[name]
        print(f"{name}\t{statistics.median(walls):.4f} {min(walls):.4f} {max(walls):.4f}\t"
              f"{statistics.median(cpus):.4f} {min(cpus):.4f} {max(cpus):.4f}\t"
              f"{os.path.getsize(path)}")


if __name__ == "__main__":
    main(sys.argv)
