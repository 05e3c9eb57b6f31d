"""The lyr-host runner: script commands, output lines, errors, --describe."""
import subprocess
import sys
import tempfile
import os

HOST, MODULES = sys.argv[1], sys.argv[2]
failures = []


def run(script, *args):
    p = subprocess.run([HOST, "--modules", MODULES, *args], input=script, capture_output=True, text=True, timeout=60)
    return p.returncode, p.stdout.splitlines(), p.stderr


def check(name, got, want):
    if got != want:
        failures.append(f"{name}:\n  got  {got!r}\n  want {want!r}")


# Messages typed as in a message box, and the banner and echoes in order.
code, out, err = run("""
new p lyr.probe~ 2   # a comment
p 3
p:1 3.
p -1e3
p 1 2 foo
p list 4
p half 1
p bang
""")
check("typing", (code, out), (0, [
    "post: lyr.probe~ : by the lyr authors",
    "post: lyr : analysis and data objects",
    "p:3 int 0 3",
    "p:3 int 1 3",
    "p:3 int 0 -1000",
    "p:3 list 1 2 foo",
    "p:3 list 4",
    "p:2 float 0.5",
    "p:3 bang",
]))

# Clocks in logical time and a recorded signal outlet.
with tempfile.TemporaryDirectory() as tmp:
    path = os.path.join(tmp, "out.txt")
    code, out, err = run(f"""
new p lyr.probe~ 2
audio p dc:0.25
record p:0 {path}
dsp on
p every 5
run 12ms
run 64smp
dsp off
""", "--sr", "6400", "--vs", "32")
    check("clock", (code, out[2:]), (0, ["p:1 int 1", "p:1 int 2", "p:1 int 3", "p:1 int 4"]))
    with open(path) as f:
        samples = [float(v) for v in f.read().split()]
    # 12 ms at 6400 Hz is 76.8 samples: vectors at 0, 32 and 64; then two more.
    check("record", samples, [0.5] * (5 * 32))

# Bad lines stop the script with the line number.
for script, fragment in [
    ("new x lyr.nothing\n", "line 1: unknown class"),
    ("\nnew p lyr.probe~\nq 1\n", "line 3: unknown object \"q\""),
    ("new p lyr.probe~\nrun soon\n", "line 2: bad duration"),
    ("new p lyr.probe~\nconnect p q\n", "line 2: expected NAME:NUMBER"),
    ("new p lyr.probe~\np:5 1\n", "line 2: p has no inlet 5"),
    ("new p lyr.probe~\nnew p lyr.probe~\n", "line 2: the name \"p\" is taken"),
]:
    code, out, err = run(script)
    check(f"error {script!r}", (code != 0, fragment in err), (True, True))

code, out, err = run("", "--describe", "lyr.probe~")
check("describe", (code, "inlet 1 \"Right\"" in out, "attribute \"range\" float32[2] offset" in "\n".join(out)), (0, True, True))

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("runner: all checks passed")
