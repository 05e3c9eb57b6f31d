#!/usr/bin/python3
"""lyr.distance against scipy, through lyr-host.

Random references and inputs of random lengths (most not dividing 350), in
the three modes, with and without weights. Each distance is held against
scipy.spatial.distance.minkowski on the lists resampled to 350 elements, with
the weights (clamped and scaled to a mean of 1) times n / 350, n the number
of values the reference was stored with.

usage: distance_oracle_test.py LYR_HOST MODULE_DIR
"""
import subprocess
import sys

import numpy as np
from scipy.spatial.distance import minkowski

LENGTH = 350
SMALLEST_WEIGHT = float(np.float32(0.00001))


def resample(values):
    values = np.asarray(values, dtype=np.float64)
    return values[(np.arange(LENGTH) * len(values)) // LENGTH]


def scaled_weights(values):
    w = resample(values)
    w[~(w > 0)] = SMALLEST_WEIGHT
    total = np.float32(0)
    for v in w:  # the sum is kept in single precision, partial sum by partial sum
        total = np.float32(float(total) + float(v))
    return w / float(total) * LENGTH


def random_values(rng, n):
    """n numbers as a message box would type them: ints and single-precision floats."""
    out = []
    for _ in range(n):
        if rng.random() < 0.2:
            out.append(int(rng.integers(-20, 21)))
        else:
            out.append(float(np.float32(rng.normal(0.0, 4.0))))
    return out


def atom_text(v):
    """An int as an int atom; a float always as a float atom ("3." rather than "3")."""
    if isinstance(v, int):
        return str(v)
    s = "%.9g" % v
    return s if any(c in s for c in ".e") else s + "."


def text(values):
    return " ".join(atom_text(v) for v in values)


def random_length(rng):
    """Short, middling or long; most do not divide 350, a few (1, 2, 5, 10, 25, ...) do."""
    return int(rng.choice([rng.integers(1, 12), rng.integers(12, 400), rng.integers(400, 1200)]))


def run_trial(host, modules, rng, trial):
    mode = trial % 3
    use_weights = (trial // 3) % 2
    keys = sorted(rng.choice(np.arange(1, 26), size=int(rng.integers(1, 9)), replace=False).tolist())
    refs = {k: random_values(rng, random_length(rng)) for k in keys}
    lines = ["new d lyr.distance", "d mode %d" % mode, "d useweights %d" % use_weights]
    lines += ["d:1 %d %s" % (k, text(v)) for k, v in refs.items()]
    weights = np.ones(LENGTH)
    fired = 0  # messages that fire the outlets before the inputs under test
    if rng.random() < 0.7:
        wv = [abs(v) if rng.random() < 0.8 else -abs(v) for v in random_values(rng, random_length(rng))]
        if rng.random() < 0.3:
            wv[0] = 0
        weights = scaled_weights(wv)
        lines.append("d weights %s" % text(wv))
        fired += 1
    p = [1.0, 2.0, 3.0][mode]
    if mode == 2 and rng.random() < 0.7:
        order = int(rng.integers(-1, 7))
        p = float(max(order, 1))
        lines.append("d order %d" % order)
        fired += 1
    inputs = []
    for _ in range(4):
        if rng.random() < 0.2:
            v = float(np.float32(rng.normal(0, 3)))
            inputs.append([v])
            lines.append("d:%d %s" % (int(rng.integers(0, 2)), atom_text(v)))
        else:
            v = random_values(rng, random_length(rng))
            inputs.append(v)
            lines.append("d %s" % text(v))

    script = "\n".join(lines) + "\n"
    result = subprocess.run([host, "--modules", modules], input=script, capture_output=True, text=True, timeout=120)
    if result.returncode != 0:
        return ["trial %d: lyr-host failed: %s" % (trial, result.stderr.strip())]
    events = [line.split() for line in result.stdout.splitlines() if line.startswith("d:")]
    posts = [line for line in result.stdout.splitlines()[2:] if line.startswith("post:")]  # past the banner
    errors = []
    if posts:
        errors.append("trial %d: unexpected console lines %s" % (trial, posts))
    if len(events) != 3 * (fired + len(inputs)):
        return errors + ["trial %d: %d outlet messages for %d computations" % (trial, len(events),
                                                                             fired + len(inputs))]
    count = max(keys)
    w = weights if use_weights else np.ones(LENGTH)
    for i, values in enumerate(inputs):
        key_msg, values_msg, dist_msg = events[3 * (fired + i): 3 * (fired + i) + 3]
        x = resample(values)
        expected = np.full(count, -1.0)
        for k, r in refs.items():
            expected[k - 1] = minkowski(x, resample(r), p, w * len(r) / LENGTH)
        got = np.array([float(a) for a in dist_msg[2:]])
        where = "trial %d (mode %d, p %g, weights %d) input %d" % (trial, mode, p, use_weights, i)
        if key_msg[:2] != ["d:0", "float"] or values_msg[:2] != ["d:1", "list"] or dist_msg[:2] != ["d:2", "list"]:
            errors.append("%s: outlets out of order: %s" % (where, [key_msg[:2], values_msg[:2], dist_msg[:2]]))
            continue
        if got.shape != expected.shape or not np.allclose(got, expected, rtol=1e-6, atol=0):
            errors.append("%s: distances %s, scipy %s" % (where, got.tolist(), expected.tolist()))
            continue
        filled = np.array([k - 1 for k in keys])
        best = filled[np.argmin(expected[filled])]
        key = int(float(key_msg[2]))
        if key != best + 1 and not expected[key - 1] <= expected[best] * (1 + 1e-6):
            errors.append("%s: closest key %d, scipy %d" % (where, key, best + 1))
        echoed = np.array([float(a) for a in values_msg[2:]], dtype=np.float32)  # printed as %.9g
        if not np.array_equal(echoed, np.array(refs[key], dtype=np.float32)):
            errors.append("%s: closest values not as stored" % where)
    return errors


def main():
    host, modules = sys.argv[1], sys.argv[2]
    rng = np.random.default_rng(20240611)
    trials = 36  # every mode with and without weights, six times over
    failed = 0
    for trial in range(trials):
        errors = run_trial(host, modules, rng, trial)
        for e in errors:
            print(e)
        failed += 1 if errors else 0
    print("%d passed, %d failed" % (trials - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
