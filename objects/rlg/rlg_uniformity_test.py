"""lyr.rlg through lyr-host: uniformity of the draws and reproducibility of seeds."""
import subprocess
import sys

import numpy as np
from scipy import stats

HOST, MODULES = sys.argv[1], sys.argv[2]


def run(script):
    """Runs a script; gives the lists each instance sent, by name."""
    out = subprocess.run([HOST, "--modules", MODULES], input=script, text=True, capture_output=True,
                         check=True).stdout.splitlines()
    lists = {}
    for line in out:
        words = line.split()
        if len(words) > 1 and words[1] == "list":
            lists.setdefault(words[0].split(":")[0], []).append([float(w) for w in words[2:]])
    return lists


failures = []

# 10^5 float draws between 0 and 1 with a fixed seed, counted in 20 equal cells.
draws = np.array(run("new r lyr.rlg @mode 1 @size 250\nr seed 4242\nr:2 1\n" + "r bang\n" * 400)["r"]).ravel()
if draws.size != 100000 or draws.min() < 0 or draws.max() > 1:
    failures.append(f"uniformity: {draws.size} draws from {draws.min()} to {draws.max()}")
counts, _ = np.histogram(draws, bins=20, range=(0.0, 1.0))
chi2, p = stats.chisquare(counts)
if p < 0.01:
    failures.append(f"uniformity: chi-square {chi2:.1f} over 19 degrees of freedom, p = {p:.4f}")

# The same seed gives the same lists, on whichever inlet it arrives; instances
# created together without a seed differ; "seed 0" leaves the numbered sequence.
script = """new a lyr.rlg @mode 1 @size 64
new b lyr.rlg @mode 1 @size 64
new c lyr.rlg @mode 1 @size 64
new d lyr.rlg @mode 1 @size 64
a seed 77
b:2 seed 77
a bang
b:1 bang
a bang
b bang
c bang
d bang
a seed 77
a bang
a seed 0
a bang
"""
lists = run(script)
a, b, c, d = lists["a"], lists["b"], lists["c"], lists["d"]
if a[:2] != b[:2]:
    failures.append("same seed, different lists")
if a[0] == a[1]:
    failures.append("successive lists of one seed are equal")
if c[0] == d[0]:
    failures.append("two unseeded instances gave the same list")
if a[2] != a[0]:
    failures.append("seeding again does not repeat the list")
if a[3] == a[0]:
    failures.append("seed 0 repeated the numbered sequence")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print(f"ok: chi-square {chi2:.1f}, p = {p:.3f}")
