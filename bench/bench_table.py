"""Reads the figures of several runs of the benchmarks (files of `NAME: WHAT ratio X (target
T)` lines, one file a run) and prints one table: each figure's median over the runs, its
target and whether the median meets it. Targets read: `<= X`, `< X`, `>= X`, `A .. B`;
any other text is shown as it is, with no verdict."""
import re
import statistics
import sys

LINE = re.compile(r"^(\S+): (.*?) ratio ([0-9.]+)(?: \((?:target:? )?([^)]*)\))?\s*$")


def verdict(value, target):
    m = re.match(r"^(<=|<|>=|>)\s*([0-9.]+)", target)
    if m:
        limit = float(m.group(2))
        return {"<=": value <= limit, "<": value < limit, ">=": value >= limit, ">": value > limit}[m.group(1)]
    m = re.match(r"^([0-9.]+)\s*\.\.\s*([0-9.]+)", target)
    if m:
        return float(m.group(1)) <= value <= float(m.group(2))
    return None


def main(paths):
    figures = {}                  # (name, what) -> [values], in the order first seen
    targets = {}
    for path in paths:
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = LINE.match(line.strip())
                if not m:
                    continue
                key = (m.group(1), m.group(2))
                figures.setdefault(key, []).append(float(m.group(3)))
                targets[key] = (m.group(4) or "").strip()
    rows = [("benchmark", "median", "runs", "target", "met")]
    for key, values in figures.items():
        med = statistics.median(values)
        ok = verdict(med, targets[key])
        rows.append(("%s: %s" % key, "%.2f" % med, str(len(values)), targets[key] or "-",
                     "-" if ok is None else ("yes" if ok else "NO")))
    widths = [max(len(r[i]) for r in rows) for i in range(len(rows[0]))]
    for i, r in enumerate(rows):
        print("  ".join(c.ljust(w) if j == 0 or j == 3 else c.rjust(w) for j, (c, w) in enumerate(zip(r, widths))).rstrip())
        if i == 0:
            print("  ".join("-" * w for w in widths))
    return 0 if figures else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
