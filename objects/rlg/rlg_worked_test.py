"""lyr.rlg through lyr-host: the documented cases, one script each."""
import subprocess
import sys

HOST, MODULES = sys.argv[1], sys.argv[2]


def run(script):
    """Runs a script on a fresh lyr.rlg named r; gives its lists (as numbers) and console lines."""
    out = subprocess.run([HOST, "--modules", MODULES], input="new r lyr.rlg\n" + script, text=True,
                         capture_output=True, check=True).stdout.splitlines()
    lists = [[float(w) for w in line.split()[2:]] for line in out if line.startswith("r:0 list")]
    posts = [line[len("post: "):] for line in out if line.startswith("post: ") and not line.startswith("post: lyr")]
    return lists, posts


failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


# A new instance: ten integers from 0 to 10.
lists, posts = run("r bang\n")
expect(len(lists) == 1 and len(lists[0]) == 10, f"new instance: {lists}")
expect(all(v == int(v) and 0 <= v <= 10 for v in lists[0]), f"new instance: {lists[0]}")

# Integer mode between -5 and 5: truncation toward zero makes 0 cover the open
# range from -1 to 1 (a fifth of the draws), every other integer a tenth;
# -5 and 5 come only at the very ends of the source.
lists, _ = run("r seed 11\nr size 256\nr:1 -5\nr:2 5\n" + "r bang\n" * 100)
values = [v for l in lists for v in l]
counts = {k: values.count(k) for k in range(-5, 6)}
expect(len(values) == 25600 and sum(counts.values()) == 25600, f"-5..5: values outside the integers {counts}")
expect(abs(counts[0] / 25600 - 0.2) < 0.015, f"-5..5: share of 0 is {counts[0] / 25600}")
for k in (-4, -3, -2, -1, 1, 2, 3, 4):
    expect(abs(counts[k] / 25600 - 0.1) < 0.012, f"-5..5: share of {k} is {counts[k] / 25600}")
expect(counts[-5] + counts[5] < 10, f"-5..5: the ends came {counts[-5] + counts[5]} times")

# Float mode: every value within its element's bounds, fractions included.
lists, _ = run("r seed 3\nr mode 1\nr size 50\nr:1 -2.5\nr:2 7.25\nr bang\nr bang\n")
values = [v for l in lists for v in l]
expect(len(values) == 100 and all(-2.5 <= v <= 7.25 for v in values), f"float mode: {values}")
expect(any(v != int(v) for v in values), "float mode gave only whole numbers")

# Inverted bounds are swapped for good: after 5 / 2 and a bang, a maximum of 3
# leaves the stored minimum 2, so later draws lie between 2 and 3.
lists, _ = run("r mode 1\nr size 100\nr:1 5\nr:2 2\nr bang\nr:2 3\nr bang\n")
expect(all(2 <= v <= 5 for v in lists[0]), f"swap: first draw {lists[0]}")
expect(all(2 <= v <= 3 for v in lists[1]), f"swap: second draw {lists[1]}")

# A list of minima is stretched to the length of the last list: 0 5 over ten
# elements gives minima 0 for elements 0-4 and 5 for 5-9 (with maxima 5, the
# last five are exactly 5).
lists, _ = run("r seed 5\nr mode 1\nr bang\nr:2 5\nr:1 0 5\nr bang\n")
last = lists[-1]
expect(all(v == 5 for v in last[5:]), f"0 5 minima: {last}")
expect(all(0 <= v <= 5 for v in last[:5]) and any(v < 5 for v in last[:5]), f"0 5 minima: {last}")

# A list before the first bang has nothing to fill: the minima stay 0.
lists, _ = run("r seed 8\nr mode 1\nr size 256\nr:1 7 8\nr bang\n")
expect(min(lists[0]) < 7, f"list before bang changed the minima: {min(lists[0])}")

# An empty list changes nothing either, and is not reported.
lists, posts = run("r seed 8\nr mode 1\nr bang\nr:1 list\nr:2 list\nr seed 8\nr bang\n")
expect(len(lists) == 2 and lists[0] == lists[1] and not posts, f"empty list: {lists} {posts}")

# Sizes beyond the range are clipped.
lists, _ = run("r size 300\nr bang\nr size 0\nr bang\n")
expect([len(l) for l in lists] == [256, 1], f"size clip: {[len(l) for l in lists]}")

# Numbers and lists on the left inlet are refused, and nothing is sent.
lists, posts = run("r 3\nr 2.5\nr 1 2\n")
expect(not lists and posts == ["wrong inlet for int", "wrong inlet for float", "wrong inlet for list"],
       f"left inlet: {lists} {posts}")

# A symbol in a list of maxima: reported once per element it fills, and those
# maxima keep their values (10), while the others take 1.
lists, posts = run("r mode 1\nr seed 2\nr size 100\nr bang\nr:2 list 1 foo\nr bang\n")
expect(posts == ["Invalid atom type : (3)"] * 50, f"symbol in maxima: {posts}")
last = lists[-1]
expect(all(0 <= v <= 1 for v in last[:50]), f"symbol in maxima, first half: {last[:50]}")
expect(max(last[50:]) > 1, f"symbol in maxima, second half: {last[50:]}")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("ok")
