"""lyr.gaussian through lyr-host against scipy.stats.norm.

The object divides by the square root of 2 pi taken at single precision; the
reference is scaled by the same factor. Inputs cross the host as 32-bit floats,
so the reference is evaluated on those values. The densities must round to
the same 32-bit float as the reference (the two differ only in double-precision
rounding, far below a single-precision step, while the exact square root of
2 pi would move about a fifth of them by one step); widths within one step."""
import math
import subprocess
import sys

import numpy as np
from scipy.stats import norm

HOST, MODULES = sys.argv[1], sys.argv[2]
SQRT_TWO_PI_SINGLE = math.sqrt(float(np.float32(2 * math.pi)))
SCALE = math.sqrt(2 * math.pi) / SQRT_TWO_PI_SINGLE
FWHM = 2 * math.sqrt(2 * math.log(2))

rng = np.random.default_rng(99)
lines = ["new g lyr.gaussian"]
cases = []  # (x, sigma, mu) as the object holds them
for _ in range(40):
    sigma = np.float32(10 ** rng.uniform(-3, 3))
    mu = np.float32(rng.normal(0, 50))
    lines += ["g:1 %.9g" % sigma, "g:2 %.9g" % mu]
    for z in np.concatenate([rng.normal(0, 2, 20), rng.uniform(-14, 14, 5)]):
        x = np.float32(mu + z * sigma)
        lines.append("g %.9g" % x)
        cases.append((x, sigma, mu))

out = subprocess.run([HOST, "--modules", MODULES], input="\n".join(lines) + "\n", text=True, capture_output=True,
                     check=True).stdout.splitlines()
densities = [np.float32(line.split()[2]) for line in out if line.startswith("g:0 float")]
widths = [np.float32(line.split()[2]) for line in out if line.startswith("g:1 float")]


def ulps(a, b):
    return abs(int(np.float32(a).view(np.int32)) - int(np.float32(b).view(np.int32)))


failures = []
if len(densities) != len(cases) or len(widths) != 40:
    failures.append(f"{len(densities)} densities for {len(cases)} inputs, {len(widths)} widths")
for (x, sigma, mu), got in zip(cases, densities):
    want = np.float32(norm.pdf(float(x), float(mu), float(sigma)) * SCALE)
    if ulps(got, want) > 0:
        failures.append(f"x={x!r} sigma={sigma!r} mu={mu!r}: got {got!r}, want {want!r}")
sigmas = [c[1] for c in cases[::25]]
for sigma, got in zip(sigmas, widths):
    if ulps(got, np.float32(FWHM * float(sigma))) > 1:
        failures.append(f"width of {sigma!r}: got {got!r}")

if failures:
    print("\n".join(failures[:20]))
    sys.exit(1)
print(f"ok: {len(cases)} densities, {len(widths)} widths")
