"""lyr.centroid~ through the lyr-host runner: creation arguments and their
console lines, the logamp attribute, silence, a bin-centred sine, the output
before the first pass and the disabled flag."""
import os
import subprocess
import sys
import tempfile

HOST, MODULES = sys.argv[1], sys.argv[2]
failures = []

WINDOW_LINE = "post: lyr.centroid~ :Error in FFT window size, set to 1024 samples"
OVERLAP_LINE = "post: lyr.centroid~ :Error in overlapping, set to 2"
BANNER = ["post: lyr.centroid~ : by the lyr authors", "post: lyr : analysis and data objects"]


def check(name, got, want):
    if got != want:
        failures.append(f"{name}:\n  got  {got!r}\n  want {want!r}")


def run(script, *args):
    p = subprocess.run([HOST, "--modules", MODULES, *args], input=script, capture_output=True, text=True,
                       timeout=120)
    if p.returncode != 0:
        failures.append(f"runner failed ({p.returncode}): {p.stderr}\nscript:\n{script}")
    return p.stdout.splitlines()


def recorded(body, seconds_of_samples, *args):
    """Runs a script that records c:0 and gives the recorded samples."""
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "out.txt")
        run(body.replace("OUT", path) + f"run {seconds_of_samples}smp\n", *args)
        with open(path) as f:
            return [float(v) for v in f.read().split()]


# Creation arguments: each case on its own, after the banner.
cases = [
    ("", [WINDOW_LINE, OVERLAP_LINE]),          # no arguments: both lines, 1024 and 2
    ("32768 2", []),                              # no upper limit on the window size
    ("1000 3", []),                               # any even size
    ("1023 2", [WINDOW_LINE]),
    ("0 2", [WINDOW_LINE]),
    ("-2 2", [WINDOW_LINE]),
    ("1024 8", []),
    ("1024 9", [OVERLAP_LINE]),
    ("1024 0", [OVERLAP_LINE]),
    ("1024", [OVERLAP_LINE]),                     # overlap missing
    ("1024. 2.", [WINDOW_LINE, OVERLAP_LINE]),    # floats are not integers
    ("hello 4", [WINDOW_LINE]),
    ("@logamp 1", [WINDOW_LINE, OVERLAP_LINE]),   # attribute arguments only: defaults
    ("8388608 1", [WINDOW_LINE]),                 # beyond the memory bound of the frames
]
for args, lines in cases:
    out = run(f"new c lyr.centroid~ {args}\n")
    check(f"arguments '{args}'", out, BANNER + lines)

SR = 44100.0
SILENCE_DB = SR / 4 - SR / 1024          # every bin -126 dB: mean bin 256.5, mirrored
BIN10 = 10 * SR / 1024                    # a sine centred on bin 10
BIN10_CENTROID = 10.5 * SR / 1024


def near(a, b, tol):
    return abs(a - b) <= tol


# Silence in power mode: every pass sums to 0.
out = recorded("new c lyr.centroid~ 1024 2\naudio c silence\nrecord c:0 OUT\ndsp on\n", 8192)
check("power silence length", len(out), 8192)
check("power silence", sorted(set(out)), [0.0])

# Silence in decibel mode, "@logamp 1" in effect from the start: 0 until the
# first pass completes at sample 512, then about 10981.934 Hz on every sample.
out = recorded("new c lyr.centroid~ 1024 2 @logamp 1\naudio c silence\nrecord c:0 OUT\ndsp on\n", 8192)
check("decibel silence before the first pass", sorted(set(out[:512])), [0.0])
if not all(near(v, SILENCE_DB, 1e-3) for v in out[512:]):
    failures.append(f"decibel silence: {sorted(set(out[512:]))[:5]} want {SILENCE_DB}")
if not near(SILENCE_DB, 10981.934, 1e-3):
    failures.append("decibel silence worked value")

# A full-scale sine centred on bin 10, power mode: 0 before the first pass,
# (10 + 0.5) * 44100 / 1024 Hz once every frame holds a whole window of it.
out = recorded(f"new c lyr.centroid~ 1024 2\naudio c sine:{BIN10!r}\nrecord c:0 OUT\ndsp on\n", 16384)
check("sine before the first pass", sorted(set(out[:512])), [0.0])
steady = out[2048:]
if not all(near(v, BIN10_CENTROID, 1e-3) for v in steady):
    failures.append(f"sine on bin 10: {min(steady)} .. {max(steady)} want {BIN10_CENTROID}")
if not near(BIN10_CENTROID, 452.197, 1e-3):
    failures.append("sine worked value")

# The same with a window of 32768 (accepted) and 8 frames.
out = recorded(f"new c lyr.centroid~ 32768 8\naudio c sine:{BIN10 / 32!r}\nrecord c:0 OUT\ndsp on\n", 3 * 32768)
steady = out[2 * 32768:]
want = 10.5 * SR / 32768
if not all(near(v, want, 1e-3) for v in steady):
    failures.append(f"sine on bin 10 of 32768: {min(steady)} .. {max(steady)} want {want}")

# Disabled: the output is left unwritten (the host's zeros, where decibel
# silence would read about 10982 Hz) and the frames stand still, so after
# enabling, the first pass completes 512 samples later.
out = recorded("new c lyr.centroid~ 1024 2 @logamp 1\naudio c silence\nrecord c:0 OUT\ndisable c 1\ndsp on\n"
               "run 4096smp\ndisable c 0\n", 1024)
check("disabled length", len(out), 4096 + 1024)
check("disabled output", sorted(set(out[:4096 + 512])), [0.0])
if not all(near(v, SILENCE_DB, 1e-3) for v in out[4096 + 512:]):
    failures.append(f"after enabling: {sorted(set(out[4096 + 512:]))[:5]}")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("centroid worked cases: all passed")
