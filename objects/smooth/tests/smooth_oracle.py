"""lyr.smooth through lyr-host: the worked cases as the runner prints them,
then random streams held against pandas' exponentially weighted mean with
span = size and adjust=False, whose fraction is 2 / (size + 1).

Each stream has its own instance and list length; its size changes now and
then and it is cleared now and then. A stretch of one size is smoothed by
pandas from the value held when it began; a restart (clear, a change of input
kind) seeds with the input itself. Ints and floats cross the host as
single-precision atoms, so the references are computed from those values; the
results are single-precision atoms too: 1e-6 relative."""
import subprocess
import sys

import numpy as np
import pandas as pd

HOST, MODULES = sys.argv[1], sys.argv[2]
failures = []


def run(script):
    return subprocess.run([HOST, "--modules", MODULES], input=script, text=True, capture_output=True,
                          check=True).stdout.splitlines()


WORKED = """new s lyr.smooth @size 3
s 10
s 20
s 20
s 0 10
s 10 0
s bang
s clear
s bang
s list 16777217
s list 1
s 16777217
s 1
s list
new t lyr.smooth
t 0
t 11
t size 1
t 7.5
t -3
"""
WORKED_OUT = """post: lyr.smooth : by the lyr authors
post: lyr : analysis and data objects
s:0 list 10
s:0 list 15
s:0 list 17.5
s:0 list 0 10
s:0 list 5 5
s:0 list 5 5
s:0 list 16777216
s:0 list 8388609
s:0 list 16777216
s:0 list 8388608
s:0 list
t:0 list 0
t:0 list 2
t:0 list 7.5
t:0 list -3
"""
got = run(WORKED)
if got != WORKED_OUT.splitlines():
    failures.append("worked cases:\n" + "\n".join(got))



def close(stretch, held, size):
    """Smoothed values of a stretch of one size, from the value held before it (None after a restart)."""
    if not stretch:
        return []
    frame = pd.DataFrame(([held] if held is not None else []) + stretch)
    smoothed = frame.ewm(span=size, adjust=False).mean().to_numpy()
    return list(smoothed[1:] if held is not None else smoothed)


rng = np.random.default_rng(7)
streams = []  # (name, inputs as the object holds them, references)
lines = []
for k, length in enumerate((1, 1, 4, 16)):
    name = f"s{k}"
    size = int(rng.integers(1, 30))
    lines.append(f"new {name} lyr.smooth @size {size}")
    rows, want = [], []
    stretch, held, last_kind = [], None, None

    for step in range(600):
        r = rng.random()
        restart = False
        if r < 0.04:
            want += close(stretch, held, size)
            held = want[-1] if want else None
            stretch = []
            size = int(rng.integers(1, 200) if rng.random() < 0.3 else rng.integers(1, 30))
            lines.append(f"{name} size {size}")
        elif r < 0.05:
            lines.append(f"{name} clear")
            restart = True
        ints = rng.random(length) < 0.5
        values = np.where(ints, rng.integers(-1000, 1000, length), rng.uniform(-100, 100, length)).astype(np.float32)
        words = [str(int(v)) if i else "%.9g" % v for v, i in zip(values, ints)]
        if length == 1:
            kind, message = ("i" if ints[0] else "f"), words[0] + ("" if ints[0] or "." in words[0] else ".")
        else:
            kind, message = "l", " ".join(words)
        lines.append(f"{name} {message}")
        if restart or kind != last_kind:
            want += close(stretch, held, size)
            held, stretch = None, []
        last_kind = kind
        stretch.append(values.astype(np.float64))
        rows.append(values)
    want += close(stretch, held, size)
    streams.append((name, np.array(rows), np.array(want)))

results = {}
for line in run("\n".join(lines) + "\n"):
    if not line.startswith("post:"):
        who, _, *values = line.split()
        results.setdefault(who.split(":")[0], []).append([float(v) for v in values])

for name, data, want in streams:
    got = np.array(results.get(name, []))
    if got.shape != data.shape:
        failures.append(f"{name}: {got.shape} results for {data.shape} inputs")
        continue
    # Relative to the input's scale: a smoothed value may pass through 0.
    rel = np.abs(got - want) / np.maximum(np.abs(want), 1e-3)
    if not rel.max() <= 1e-6:
        t = int(np.argmax(rel.max(axis=1)))
        failures.append(f"{name} ({data.shape[1]} elements): input {t}: got {got[t][:4]}, want {want[t][:4]}, "
                        f"relative {rel.max():.3g}")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print(f"ok: worked cases, {len(streams)} streams of {len(streams[0][1])} inputs")
