"""lyr.centroid~ held against numpy: a signal of several sines plus noise is
analysed by the object through lyr-host, and every sample of the recorded
output is compared with the centroid that numpy computes from the rfft of the
same frame (bins 1 to N/2, plus half a bin, in Hz) for the pass completed
last. The object keeps its sums in single precision, hence 1e-4 relative."""
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np

HOST, MODULES = sys.argv[1], sys.argv[2]
SR = 44100
failures = []


def write_float_wav(path, samples):
    data = np.asarray(samples, dtype="<f4").tobytes()
    fmt = struct.pack("<HHIIHH", 3, 1, SR, SR * 4, 4, 32)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(data)) + data)


def test_signal(length, seed):
    rng = np.random.default_rng(seed)
    t = np.arange(length) / SR
    x = np.zeros(length)
    for freq, amp in [(220.0, 0.4), (1375.5, 0.2), (5012.0, 0.1), (9100.0, 0.05)]:
        x += amp * np.sin(2 * np.pi * freq * t + rng.uniform(0, 2 * np.pi))
    x += 0.05 * rng.standard_normal(length)
    # A slow swell, so that the centroid moves from pass to pass.
    x *= 0.6 + 0.4 * np.sin(2 * np.pi * 3.0 * t)
    return x.astype(np.float32)


def expected_output(x, n, overlap, logamp):
    """The output the frame scheme gives, computed from numpy's rfft: frame i
    starts at position (n * i) // overlap with cleared buffers; a pass of it
    completes when its position reaches n / 2, with the bins of the transform
    made n / 2 + 1 samples earlier; a first pass that began after bin 1 is
    skipped; the output holds the centroid of the pass completed last."""
    half = n // 2
    length = len(x)
    padded = np.concatenate([np.zeros(n), x.astype(np.float64)])
    bins = np.arange(1, half + 1)
    scale = np.float32(np.pi / half)
    completions = []  # (sample, frame, centroid)
    for i in range(overlap):
        start = (n * i) // overlap
        first = (half - start) % n  # first sample at which the position is half
        for t in range(first, length, n):
            if t == half - start and 1 < start <= half:
                continue  # partial first pass
            transform = t - half - 1  # the sample that filled the frame
            if transform < 0:
                spectrum = np.zeros(half + 1, dtype=complex)  # cleared
            else:
                frame = padded[transform + 1:transform + 1 + n]  # samples transform-n+1 .. transform
                spectrum = np.fft.rfft(frame)
            if logamp:
                with np.errstate(divide="ignore"):
                    v = (20 * np.log10(np.abs(spectrum[1:]) * float(scale))).astype(np.float32)
                v = np.where(v < -126.000001, np.float32(-126), v).astype(np.float64)
            else:
                v = np.abs(spectrum[1:]) ** 2
            w = v.sum()
            if w == 0:
                c = 0.0
            else:
                hz = (np.dot(bins, v) / w + 0.5) * SR / n
                c = SR / 2 - hz if logamp else hz
            completions.append((t, i, c))
    completions.sort()
    out = np.zeros(length)
    for t, _, c in completions:
        out[t:] = c
    return out, [t for t, _, _ in completions]


def analyse(x, args, vs):
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "in.wav")
        rec = os.path.join(tmp, "out.txt")
        write_float_wav(wav, x)
        script = f"new c lyr.centroid~ {args}\naudio c {wav}\nrecord c:0 {rec}\ndsp on\nrun {len(x)}smp\n"
        p = subprocess.run([HOST, "--modules", MODULES, "--sr", str(SR), "--vs", str(vs)], input=script,
                           capture_output=True, text=True, timeout=300)
        if p.returncode != 0:
            failures.append(f"{args}: runner failed: {p.stderr}")
            return None
        return np.loadtxt(rec)


for n, overlap, logamp, vs, seed in [
    (1024, 4, 0, 64, 1),
    (1024, 2, 0, 256, 2),
    (2048, 3, 0, 64, 3),
    (512, 8, 0, 32, 4),
    (1024, 4, 1, 64, 5),
    (1000, 3, 1, 64, 6),
]:
    name = f"N {n} overlap {overlap} logamp {logamp} vs {vs}"
    x = test_signal(12 * n, seed)
    got = analyse(x, f"{n} {overlap} @logamp {logamp}", vs)
    if got is None:
        continue
    want, passes = expected_output(x, n, overlap, logamp)
    if len(got) < len(x):  # whole vectors are recorded: a few more samples may follow
        failures.append(f"{name}: {len(got)} samples recorded, want {len(x)}")
        continue
    got = got[:len(x)]
    if len(passes) < 10 * overlap:
        failures.append(f"{name}: only {len(passes)} passes")
    # Every sample: the pass values, and the holding in between.
    err = np.abs(got - want) / np.maximum(np.abs(want), 1.0)
    worst = int(np.argmax(err))
    if err[worst] > 1e-4:
        failures.append(f"{name}: sample {worst}: got {got[worst]!r} want {want[worst]!r} (rel {err[worst]:.2e})")
    # The values vary: the comparison is not between constants.
    if len(np.unique(np.round(want[passes], 3))) < len(passes) // 2:
        failures.append(f"{name}: the expected centroids hardly vary")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("centroid oracle: all passed")
