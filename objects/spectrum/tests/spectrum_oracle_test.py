"""lyr.spectrum~ against numpy: every list sent is the scaled rfft magnitude of one
frame's 1024 samples (frame boundaries as the staggering sets them), linear or in
decibels with the -126 floor, to 1e-6 relative."""
import os
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from spectrum_host_run import run, write_float_wav  # noqa: E402

HOST, MODULES = sys.argv[1], sys.argv[2]
N, OVERLAP, RATE = 1024, 4, 44100

rng = np.random.default_rng(2024)
length = 22050
t = np.arange(length)
signal = (0.5 * np.sin(2 * np.pi * 440.3 * t / RATE) + 0.25 * np.sin(2 * np.pi * 1234.5 * t / RATE + 1.0)
          + 0.1 * np.sin(2 * np.pi * 5000.7 * t / RATE) + rng.uniform(-0.05, 0.05, length)).astype(np.float32)
scale = float(np.float32(np.pi / (N // 2)))

# Frame i starts at position N*i/overlap; its window for transform m >= 2 covers
# samples [(m-1)*N - start_i, m*N - start_i).
windows = []
for i in range(OVERLAP):
    start = N * i // OVERLAP
    first = N - start
    for begin in range(first, length - N + 1, N):
        windows.append((i, begin))
spectra = np.abs(np.fft.rfft(np.stack([signal[b:b + N].astype(np.float64) for _, b in windows]), axis=1)) * scale


def expected(row, logamp, low, high):
    m = spectra[row, low:high]
    if logamp:
        with np.errstate(divide="ignore"):
            v = (20.0 * np.log10(m)).astype(np.float32)
        v[v < -126.000001] = np.float32(-126.0)
        return v.astype(np.float64)
    return m.astype(np.float32).astype(np.float64)


failures = []
with tempfile.TemporaryDirectory() as tmp:
    wav = os.path.join(tmp, "signal.wav")
    write_float_wav(wav, signal.tolist(), RATE)
    cases = [(0, None, 0, 512), (1, None, 0, 512), (0, (100, 5000), 2, 116), (1, (22049, 22050), 511, 512)]
    for logamp, domain, low, high in cases:
        script = "new sp lyr.spectrum~ %d %d @smooth 1 @logamp %d\n" % (N, OVERLAP, logamp)
        if domain:
            script += "sp domain %d %d\n" % domain
        script += "audio sp %s\ndsp on\nrun %dsmp\n" % (wav, length)
        out = run(HOST, MODULES, script)
        if out.posts():
            failures.append("unexpected console lines %s" % out.posts())
        lists = out.lists("sp")
        if len(lists) < len(windows) // 2:
            failures.append("logamp %d domain %s: only %d lists" % (logamp, domain, len(lists)))
        last_begin = {}
        for k, got in enumerate(lists):
            got = np.array(got)
            best, best_err = None, np.inf
            for row in range(len(windows)):
                want = expected(row, logamp, low, high)
                if len(want) != len(got):
                    continue
                # Decibels relative to at least 1 dB; magnitudes relative with a tiny absolute floor.
                denom = np.maximum(np.abs(want), 1.0) if logamp else np.abs(want) + 1e-12
                err = float(np.max(np.abs(got - want) / denom)) if len(want) else 0.0
                if err < best_err:
                    best, best_err = row, err
            if best is None or best_err > 1e-6:
                failures.append("logamp %d domain %s list %d: no frame matches (best error %g)"
                                % (logamp, domain, k, best_err))
                continue
            frame, begin = windows[best]
            if len(got) > 1 and begin <= last_begin.get(frame, -1):
                failures.append("list %d: frame %d went back to an earlier window" % (k, frame))
            last_begin[frame] = begin

if failures:
    print("\n".join(failures[:20]))
    sys.exit(1)
print("ok")
