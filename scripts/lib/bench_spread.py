"""The bench's report over several processes: reads the summary lines
({"row": ...}) that tessaro-bench prints, one file per process, and prints
per section the middle process's geometric mean and worst file with the
spread of all of them (ours / fastest peer; below 1: we are faster)."""
import json
import sys


def read_rows(path):
    rows = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line.startswith('{"row"'):
                continue
            row = json.loads(line)
            rows[row["row"]] = row
    return rows


def middle(values):
    ordered = sorted(values)
    return ordered[len(ordered) // 2]


def main(paths):
    runs = [read_rows(p) for p in paths]
    order = []
    for run in runs:
        for name in run:
            if name not in order:
                order.append(name)
    print(f"\nOurs / fastest peer over {len(runs)} processes: middle (lowest to highest)")
    print(f"  {'section':<30} {'geometric mean':<22} {'worst file':<22} worst in the middle run")
    for name in order:
        present = [run[name] for run in runs if name in run]
        means = [r["geomean"] for r in present]
        worsts = [r["worst"] for r in present]
        mid = middle(means)
        mid_run = next(r for r in present if r["geomean"] == mid)
        missing = "" if len(present) == len(runs) else f" (in {len(present)} of {len(runs)})"
        print(f"  {name:<30} {mid:.2f} ({min(means):.2f} to {max(means):.2f})   "
              f"{middle(worsts):.2f} ({min(worsts):.2f} to {max(worsts):.2f})   "
              f"{mid_run['worst_file']}{missing}")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: bench_spread.py RUN.txt...")
    main(sys.argv[1:])
