"""Every module exports main and nothing else, so that no link name of ours can
meet another host's API when the same bindings are built for it."""
import glob
import subprocess
import sys

modules = sorted(glob.glob(f"{sys.argv[1]}/*.so"))
if not modules:
    sys.exit("no modules found in " + sys.argv[1])
bad = []
for m in modules:
    out = subprocess.run(["nm", "-D", "--defined-only", m], capture_output=True, text=True, check=True).stdout
    names = {line.split()[-1] for line in out.splitlines() if line.strip()}
    if names != {"main"}:
        bad.append(f"{m}: exports {sorted(names)}")
if bad:
    sys.exit("\n".join(bad))
print(f"{len(modules)} modules export only main")
