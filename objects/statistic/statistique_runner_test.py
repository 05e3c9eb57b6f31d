"""lyr.statistic through lyr-host: the worked cases, and random lists against scipy.stats."""
import subprocess
import sys

import numpy as np
from scipy import stats

HOST, MODULES = sys.argv[1], sys.argv[2]


def run(script):
    """Runs a script through lyr-host; gives the atoms of each list out of s."""
    out = subprocess.run([HOST, "--modules", MODULES], input=script, text=True, capture_output=True, check=True).stdout
    return [[float(w) for w in line.split()[2:]] for line in out.splitlines() if line.startswith("s:0 list")]


def close(got, want, rel, name, floor=1.0):
    """got within rel of want, relative to |want| but never to less than floor."""
    got, want = np.float64(np.float32(got)), np.float64(want)
    if np.isnan(want):
        ok = not np.isfinite(got)
    else:
        ok = abs(got - want) <= rel * max(floor, abs(want))
    if not ok:
        raise AssertionError(f"{name}: got {got!r}, want {want!r}")


failures = []


def check(label, fn):
    try:
        fn()
    except AssertionError as e:
        failures.append(f"{label}: {e}")


# Worked cases: the list typed into the object and the eight statistics expected.
WORKED = [
    ("1. 2. 3. 4.", [1, 4, 2.5, 1.6666666, 1.2909944, 0.6454972, 0, -1.2]),
    ("2 2 2 2 2", [2, 2, 2, 9.99999997e-07, 0.001, 0.00044721, 0, -8]),
    ("3000 4000", [3000, 4000, 3500, 500000, 707.10678, 500, np.nan, np.nan]),
    ("-3000 -4000", [-4000, -3000, -3500, 500000, 707.10678, 500, np.nan, np.nan]),
    ("list", [np.nan] * 8),
]
script = "new s lyr.statistic\n" + "".join(f"s {m}\ns bang\n" for m, _ in WORKED)
lists = run(script)
assert len(lists) == 2 * len(WORKED), lists
for i, (message, want) in enumerate(WORKED):
    got, again = lists[2 * i], lists[2 * i + 1]
    names = ["min", "max", "mean", "variance", "deviation", "stderr", "skewness", "kurtosis"]
    for g, w, n in zip(got, want, names):
        check(message, lambda g=g, w=w, n=n: close(g, w, 2e-6, n))
    if not np.array_equal(np.array(got), np.array(again), equal_nan=True):
        failures.append(f"{message}: bang sent {again}, not {got}")

# Random lists against scipy.stats, on the single-precision values the host carries.
rng = np.random.default_rng(20240611)
cases = []
for length in [4, 5, 7, 16, 33, 100, 257, 1000]:
    for scale, offset in [(1.0, 0.0), (250.0, -40.0), (0.01, 3.0)]:
        kind = rng.integers(3)
        if kind == 0:
            v = rng.normal(offset, scale, length)
        elif kind == 1:
            v = offset + scale * rng.exponential(1.0, length)
        else:
            v = offset + scale * rng.uniform(-1, 1, length)
        cases.append(v.astype(np.float32))
script = "new s lyr.statistic\n" + "".join("s " + " ".join("%.9g" % x for x in v) + "\n" for v in cases)
lists = run(script)
assert len(lists) == len(cases)
for v, got in zip(cases, lists):
    x = v.astype(np.float64)
    sd = x.std(ddof=1)
    want = [x.min(), x.max(), x.mean(), x.var(ddof=1), sd, stats.sem(x),
            stats.skew(x, bias=False), stats.kurtosis(x, bias=False)]
    label = f"n={len(v)} mean={x.mean():.3g} sd={sd:.3g}"
    check(label, lambda: close(got[0], want[0], 0, "min"))
    check(label, lambda: close(got[1], want[1], 0, "max"))
    # The sum runs in single precision: its error stays within (n - 1) ulps of
    # the mean absolute value, plus the rounding of the quotient.
    bound = (len(v) * np.abs(x).mean() + abs(want[2])) * 2.0**-24
    check(label, lambda: close(abs(np.float32(got[2]) - want[2]), 0, bound, "mean error"))
    for i, n in [(3, "variance"), (4, "deviation"), (5, "stderr")]:
        check(label, lambda i=i, n=n: close(got[i], want[i], 1e-4, n, floor=0.0))
    check(label, lambda: close(got[6], want[6], 1e-3, "skewness"))
    check(label, lambda: close(got[7], want[7], 1e-3, "kurtosis"))

if failures:
    print("\n".join(failures))
    sys.exit(1)
print(f"ok: {len(WORKED)} worked cases, {len(cases)} random lists")
