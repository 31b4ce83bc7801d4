"""Stack use from gcc's -fstack-usage and -fcallgraph-info=su output: for
each function named, its own frame and its deepest chain of calls into
functions of the same file (memcpy and memset, outside it, take a few words
more).  Fails when the first function's frame is above the limit.

Usage: stack_chain.py FILE.su FILE.ci LIMIT FUNCTION..."""
import re
import sys

su_path, ci_path, limit, names = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]


def function(where):
    """The function of a "file:line:column:name" or "file:name" entry; a
    clone that gcc made (vantrel_check.constprop.0) is named in the .su file
    without its number and in the .ci file with it."""
    return re.sub(r"\.\d+$", "", where.rsplit(":", 1)[-1])


frames = {}
for line in open(su_path):
    where, size, _ = line.rsplit("\t", 2)
    frames[function(where)] = int(size)
calls = {}
for source, target in re.findall(r'edge: \{ sourcename: "([^"]+)" targetname: "([^"]+)"', open(ci_path).read()):
    calls.setdefault(function(source), set()).add(function(target))


def deepest(name, seen=()):
    below = [deepest(c, seen + (name,)) for c in calls.get(name, ()) if c in frames and c not in seen]
    return frames[name] + max(below, default=0)


missing = [n for n in names if n not in frames]
if missing:
    sys.exit(f"not found in {su_path}: {' '.join(missing)}")
for name in names:
    print(f"stack of {name}: frame {frames[name]} bytes, deepest chain {deepest(name)} bytes")
if frames[names[0]] > limit:
    sys.exit(f"{names[0]}: a frame of {frames[names[0]]} bytes is above {limit}")
