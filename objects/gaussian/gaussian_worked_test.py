"""lyr.gaussian through lyr-host: the documented values, to the digits the host prints."""
import subprocess
import sys

HOST, MODULES = sys.argv[1], sys.argv[2]

SCRIPT = """new g lyr.gaussian
g 0
g 1
new h lyr.gaussian 2 5
h 5
h 3
new n lyr.gaussian -1 3
n 3
n 3.
new q lyr.gaussian 0.5
q 0.
new f lyr.gaussian
f:1 0
f:1 -4
f 0
f:1 3
f 0
f:2 2.
f:2 7
f 7.
"""

EXPECTED = [
    "g:0 float 0.398942262",  # sigma 1, mu 0
    "g:0 float 0.241970718",
    "h:0 float 0.199471131",  # sigma 2, mu 5
    "h:0 float 0.120985359",
    "n:0 float 0.398942262",  # -1 refused: sigma 1, mu 3
    "n:0 float 0.398942262",
    "q:0 float 0.797884524",  # sigma 0.5, mu 0
    "f:1 float 2.35482001",   # 0 and -4 refused: the width of sigma 1
    "f:1 float 2.35482001",
    "f:0 float 0.398942262",
    "f:1 float 7.06446028",   # sigma 3
    "f:0 float 0.132980764",
    "f:0 float 0.132980764",  # inlet 2 sent nothing; the peak has moved to 7
]

out = subprocess.run([HOST, "--modules", MODULES], input=SCRIPT, text=True, capture_output=True, check=True).stdout
got = [line for line in out.splitlines() if not line.startswith("post: ")]
if got != EXPECTED:
    print("got:\n" + "\n".join(got) + "\nexpected:\n" + "\n".join(EXPECTED))
    sys.exit(1)
print("ok")
