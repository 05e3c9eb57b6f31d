"""lyr.average through lyr-host: the worked cases as the runner prints them,
then random streams held against pandas rolling means and scipy's geometric,
harmonic and power means.

Each stream has its own instance, mean kind and list length; its size changes
now and then (both ways) and it is cleared now and then. The window of an
input covers the newest min(count + 1, size) inputs, count being the inputs
held (0 after "clear", at most size); pandas' rolling mean takes those windows
through a custom indexer. Ints and floats cross the host as single-precision
atoms, so the references are computed from those values; the results are
single-precision atoms too: 1e-6 relative."""
import subprocess
import sys

import numpy as np
import pandas as pd
from pandas.api.indexers import BaseIndexer
from scipy.stats import gmean, hmean, pmean

HOST, MODULES = sys.argv[1], sys.argv[2]
failures = []


def run(script):
    return subprocess.run([HOST, "--modules", MODULES], input=script, text=True, capture_output=True,
                          check=True).stdout.splitlines()


# The worked cases, as the runner prints them.
WORKED = """new a lyr.average
a 1
a 2
a 3
a 4.5
a list 1
a 1 2
a 3 4
a 1 2 3
a bang
a clear
a bang
a list
a 16777217
a 1
a list 16777217
a list 1
a mode 1
a 2
a -8
new q lyr.average @mode 3
q 3
q 4
q clear
q -2.5
"""
WORKED_OUT = """post: lyr.average : by the lyr authors
post: lyr : analysis and data objects
a:0 list 1
a:0 list 1.5
a:0 list 2
a:0 list 4.5
a:0 list 1
a:0 list 1 2
a:0 list 2 3
a:0 list 1 2 3
a:0 list 1 2 3
a:0 list
a:0 list 16777216
a:0 list 8388608
a:0 list 16777216
a:0 list 8388609
a:0 list 2
a:0 list nan
q:0 list 3
q:0 list 3.53553391
q:0 list 2.5
"""
got = [line.replace("-nan", "nan") for line in run(WORKED)]  # the sign of a NaN is not settled
if got != WORKED_OUT.splitlines():
    failures.append("worked cases:\n" + "\n".join(got))


class Windows(BaseIndexer):
    """Rolling windows of a given length ending at each row."""

    def __init__(self, lengths):
        super().__init__()
        self.lengths = np.asarray(lengths, dtype=np.int64)

    def get_window_bounds(self, num_values=0, min_periods=None, center=None, closed=None, step=None):
        end = np.arange(1, num_values + 1, dtype=np.int64)
        return end - self.lengths[:num_values], end


rng = np.random.default_rng(6)
MEANS = {
    1: lambda x: gmean(x, axis=0),
    2: lambda x: hmean(x, axis=0),
    3: lambda x: pmean(x, 2, axis=0),
}
streams = []  # (name, mode, inputs as the object holds them, window lengths)
lines = []
for k, (mode, length) in enumerate((m, n) for m in range(4) for n in (1, 5, 17)):
    name = f"s{k}"
    size = int(rng.integers(1, 40))
    lines.append(f"new {name} lyr.average @mode {mode} @size {size}")
    count, last_kind = 0, None
    rows, windows = [], []
    for step in range(500):
        r = rng.random()
        if r < 0.03:
            size = int(rng.integers(1, 257) if rng.random() < 0.3 else rng.integers(1, 40))
            lines.append(f"{name} size {size}")
        elif r < 0.04:
            lines.append(f"{name} clear")
            count = 0
        # Positive ints and floats, so that every kind of mean is defined. A
        # one-element stream mixes int, float and list messages: a change of
        # kind restarts the window.
        ints = rng.random(length) < 0.5
        values = np.where(ints, rng.integers(1, 1000, length), rng.uniform(0.01, 100, length)).astype(np.float32)
        words = [str(int(v)) if i else "%.9g" % v for v, i in zip(values, ints)]
        if length == 1 and rng.random() < 0.2:
            kind, message = "l", "list " + words[0]
        elif length == 1:
            kind, message = ("i" if ints[0] else "f"), words[0] + ("" if ints[0] or "." in words[0] else ".")
        else:
            kind, message = "l", " ".join(words)
        lines.append(f"{name} {message}")
        if kind != last_kind:
            count = 0
        last_kind = kind
        rows.append(values.astype(np.float64))
        windows.append(count + 1 if count < size else size)
        count = min(count + 1, size)
    streams.append((name, mode, np.array(rows), windows))

results = {}
for line in run("\n".join(lines) + "\n"):
    if not line.startswith("post:"):
        who, _, *values = line.split()
        results.setdefault(who.split(":")[0], []).append([float(v) for v in values])

for name, mode, data, windows in streams:
    got = np.array(results.get(name, []))
    if got.shape != data.shape:
        failures.append(f"{name}: {got.shape} results for {data.shape} inputs")
        continue
    if mode == 0:
        want = pd.DataFrame(data).rolling(Windows(windows), min_periods=1).mean().to_numpy()
    else:
        want = np.array([MEANS[mode](data[t - w + 1:t + 1]) for t, w in enumerate(windows)])
    rel = np.abs(got - want) / np.abs(want)
    if not rel.max() <= 1e-6:
        t = int(np.argmax(rel.max(axis=1)))
        failures.append(f"{name} (mode {mode}, {data.shape[1]} elements): input {t}, window {windows[t]}: "
                        f"got {got[t][:4]}, want {want[t][:4]}, relative {rel.max():.3g}")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print(f"ok: worked cases, {len(streams)} streams of {len(streams[0][2])} inputs")
