"""lyr.spectrum~ through lyr-host: creation and domain lines, list lengths, the
clock, smoothing, resizing and the logarithmic warp, as a patcher user sees them."""
import os
import re
import subprocess
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from spectrum_host_run import run  # noqa: E402

HOST, MODULES = sys.argv[1], sys.argv[2]

WINDOW = "lyr.spectrum~ :Error in FFT window size, set to 1024 samples"
OVERLAP = "lyr.spectrum~ :Error in overlapping, set to 2"
LOW = "lyr.spectrum~ : error in low size domain (minimum is 0)"
HIGH = "lyr.spectrum~ : error in high size domain (maximum is half of sampling-rate)"
HIGH_SET = "lyr.spectrum~ : high size domain set to 22050.000000"
MARK = "lyr.spectrum~: doesn't understand \"mark\""

failures = []


def check(what, got, want):
    if got != want:
        failures.append("%s:\n  got  %r\n  want %r" % (what, got, want))


# The class as the host sees it (attribute offsets aside).
DESCRIBED = """class "lyr.spectrum~" signal destructor yes
method "dsp" private
method "assist" private
inlet 0 signal "(Signal) Input"
outlet 0 list "(List) Spectrum"
attribute "logamp" long
  label symbol flags 0 "Amplitude scale"
  style symbol flags 0 "enumindex"
  enumvals atom flags 0 "Linear "Logarithmic"
  default long flags 0 "1"
  save long flags 1 "1"
attribute "logfreq" long
  label symbol flags 0 "Frequency scale"
  style symbol flags 0 "enumindex"
  enumvals atom flags 0 "Linear "Logarithmic"
  default long flags 0 "0"
  save long flags 1 "1"
attribute "domain" float32[2]
  label symbol flags 0 "Low and high domain range values (X-Axis)"
  save long flags 1 "1"
  setter custom
attribute "interval" long
  label symbol flags 0 "Polling interval"
  default long flags 0 "10"
  save long flags 1 "1"
  clip min 3 max 5000
attribute "resize" long
  label symbol flags 0 "Resize mode"
  style symbol flags 0 "onoff"
  default long flags 0 "0"
  save long flags 1 "1"
attribute "smooth" long
  default long flags 0 "5"
  save long flags 1 "1"
  clip min 1"""
described = subprocess.run([HOST, "--modules", MODULES, "--describe", "lyr.spectrum~"], text=True,
                           capture_output=True, check=True).stdout
described = [re.sub(r" (size|offset) \d+", "", line) for line in described.splitlines() if not line.startswith("post: ")]
check("class description", described, DESCRIBED.splitlines())

# Creation arguments, one object each.
for args, want in [
    ("", [WINDOW, OVERLAP]),
    ("@interval 500", [WINDOW, OVERLAP]),
    ("1000 2", []),
    ("1023 2", [WINDOW]), ("16386 2", [WINDOW]), ("0 2", [WINDOW]), ("-4 2", [WINDOW]), ("512. 2", [WINDOW]),
    ("16384 2", []),
    ("1024 0", [OVERLAP]), ("1024 -1", [OVERLAP]), ("1024 100000000", [OVERLAP]),
]:
    check("creation with '%s'" % args, run(HOST, MODULES, "new sp lyr.spectrum~ %s\n" % args).posts(), want)

# Domain settings: console lines and the list length (bin_count) that follows.
for domain, lines, length in [
    ("100 5000", [], 114),
    ("-5 1000", [LOW], 23),
    ("300 200", [HIGH, HIGH_SET], 506),
    ("22049 22050", [], 1),
    ("1000 1010", [], 0),       # narrower than a bin: empty lists
    ("22050 22050", [LOW], 512),
    ("foo 5000", [], 116),     # a symbol keeps the low edge (0)
]:
    out = run(HOST, MODULES, "new sp lyr.spectrum~ 1024 2\nsp domain %s\naudio sp noise:1\ndsp on\nrun 200ms\n" % domain)
    check("lines of domain %s" % domain, out.posts(), lines)
    lengths = {len(l) for l in out.lists("sp")}
    check("list lengths with domain %s" % domain, lengths, {length})
check("default list length", {len(l) for l in run(HOST, MODULES, "new sp lyr.spectrum~ 1024 2\naudio sp noise:1\n"
                                                  "dsp on\nrun 200ms\n").lists("sp")}, {512})

# First lists after audio starts (1024 / 2, 64-sample vectors, ticks every 10 ms):
# frame 1 completes at sample 2049 (46.5 ms), frame 0 at sample 2561 (58.1 ms).
out = run(HOST, MODULES, "new sp lyr.spectrum~ 1024 2\naudio sp noise:1\ndsp on\nrun 45ms\nsp mark\nrun 5ms\n"
          "sp mark\nrun 5ms\nsp mark\nrun 5ms\n")
check("lists per segment after audio starts", [len(s) for s in out.segments("sp")], [0, 1, 0, 1])

# Clip of "interval": 1 is stored as 3, so 30 ms give 10 ticks (window 2: a list each tick).
out = run(HOST, MODULES, "new sp lyr.spectrum~ 2 1 @interval 1\naudio sp noise:1\ndsp on\nrun 10ms\nsp mark\n"
          "run 30ms\n")
check("ticks in 30 ms at interval 1", len(out.segments("sp")[1]), 10)

# Long interval: 100 ms at 1024 / 4 sends one list per frame each tick.
out = run(HOST, MODULES, "new sp lyr.spectrum~ 1024 4 @interval 100\naudio sp noise:1\ndsp on\nrun 200ms\nsp mark\n"
          "run 100ms\nsp mark\nrun 100ms\n")
check("lists per tick at 100 ms", [len(s) for s in out.segments("sp")[1:]], [4, 4])

# Same audio into several objects: the post-processing seen against the plain lists.
PLAIN = "@smooth 1 @logamp 0"
out = run(HOST, MODULES, "\n".join([
    "new plain lyr.spectrum~ 1024 2 " + PLAIN,
    "new clip lyr.spectrum~ 1024 2 @smooth 0 @logamp 0",
    "new smooth3 lyr.spectrum~ 1024 2 @smooth 3 @logamp 0",
    "new resized lyr.spectrum~ 1024 2 @resize 1 " + PLAIN,
    "new warped lyr.spectrum~ 1024 2 @logfreq 1 " + PLAIN,
    "new big lyr.spectrum~ 2048 2 " + PLAIN,
    "new bigresized lyr.spectrum~ 2048 2 @resize 1 " + PLAIN,
    "new small lyr.spectrum~ 256 2 " + PLAIN,
    "new smallresized lyr.spectrum~ 256 2 @resize 1 " + PLAIN,
    "new mid lyr.spectrum~ 1024 2 " + PLAIN,
    "new midresized lyr.spectrum~ 1024 2 @resize 1 " + PLAIN,
    "mid domain 0 12920", "midresized domain 0 12920",   # bin_count 300
]) + "\n" + "\n".join("audio %s noise:7" % n for n in [
    "plain", "clip", "smooth3", "resized", "warped", "big", "bigresized", "small", "smallresized", "mid",
    "midresized"]) + "\ndsp on\nrun 500ms\n")
plain = [np.array(l, dtype=np.float32) for l in out.lists("plain")]
f32 = np.float32
if len(plain) < 10:
    failures.append("too few lists: %d" % len(plain))

check("smooth 0 is stored as 1: lists pass unchanged", out.lists("clip"), out.lists("plain"))

s3 = [np.array(l, dtype=np.float32) for l in out.lists("smooth3")]
ok = np.array_equal(s3[0], plain[0])  # the first list goes out unsmoothed
for k in range(1, len(s3)):
    want = ((plain[k].astype(np.float64) - s3[k - 1].astype(np.float64)) * 0.5 + s3[k - 1]).astype(np.float32)
    ok = ok and np.array_equal(s3[k], want)
check("smooth 3 moves halfway", ok, True)


def resized_from(plain_name, resized_name, source):
    p, r = out.lists(plain_name), out.lists(resized_name)
    good = len(p) == len(r) > 0
    for a, b in zip(p, r):
        good = good and len(b) == 256 and all(b[c] == a[source(c, len(a))] for c in range(256))
    return good


check("resize 1 with 512 entries: entries 0, 2, ... 510", resized_from("plain", "resized", lambda c, n: 2 * c), True)
check("resize 1 with 1024 entries: entries 0, 4, ... 1020", resized_from("big", "bigresized", lambda c, n: 4 * c),
      True)
check("resize 1 with 300 entries: entries 0 to 255", resized_from("mid", "midresized", lambda c, n: c), True)
check("resize 1 with 128 entries: stretched", resized_from("small", "smallresized", lambda c, n: c * n // 256), True)

warped = [np.array(l, dtype=np.float32) for l in out.lists("warped")]
good = len(warped) == len(plain) > 0
for w, p in zip(warped, plain):
    mean = lambda a, b: f32((np.float64(p[a]) + np.float64(p[b])) / 2)  # noqa: E731
    good = good and all(w[j] == mean(0, 1) for j in range(201)) and w[256] == mean(3, 4) and w[511] == mean(501, 502)
check("logfreq 1 entries", good, True)

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("ok")
