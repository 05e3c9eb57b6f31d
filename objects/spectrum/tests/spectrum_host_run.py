"""Runs lyr-host scripts for the lyr.spectrum~ tests and parses what it prints."""
import struct
import subprocess


class Output:
    def __init__(self, text):
        self.lines = text.splitlines()
        # Everything in order: ("post", text) or (object, outlet, selector, values).
        self.events = []
        for line in self.lines:
            if line.startswith("post: "):
                self.events.append(("post", line[6:]))
                continue
            words = line.split(" ")
            name, outlet = words[0].rsplit(":", 1)
            self.events.append((name, int(outlet), words[1], [float(w) for w in words[2:]]))

    def posts(self):
        return [e[1] for e in self.events if e[0] == "post" and not is_banner(e[1])]

    def lists(self, name):
        return [e[3] for e in self.events if e[0] == name and e[2] == "list"]

    def segments(self, name, marker_prefix="lyr.spectrum~: doesn't understand"):
        """Lists of `name` grouped between marker posts (a message the object refuses)."""
        groups = [[]]
        for e in self.events:
            if e[0] == "post" and e[1].startswith(marker_prefix):
                groups.append([])
            elif e[0] == name and e[2] == "list":
                groups[-1].append(e[3])
        return groups


def is_banner(text):
    return text.endswith("by the lyr authors") or text.startswith("lyr : ")


def run(host, modules, script, vs=64, sr=44100):
    done = subprocess.run([host, "--modules", modules, "--sr", str(sr), "--vs", str(vs)], input=script, text=True,
                          capture_output=True)
    if done.returncode != 0:
        raise SystemExit("lyr-host failed:\n" + done.stderr + "\nscript:\n" + script)
    return Output(done.stdout)


def write_float_wav(path, samples, rate=44100):
    """Mono 32-bit float WAV: the samples reach the object exactly."""
    data = struct.pack("<%df" % len(samples), *samples)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<IHHIIHH", 16, 3, 1, rate, rate * 4, 4, 32))
        f.write(b"data" + struct.pack("<I", len(data)) + data)
