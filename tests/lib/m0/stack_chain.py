"""Stack use from gcc's -fstack-usage and -fcallgraph-info=su output: for
each function named, its own frame and its deepest chain of calls into
functions of the same file (memcpy and memset, outside it, take a few words
more).  Fails when the first function's deepest chain is above the limit.
With --sizes, the output of `nm -S` for the same object: each function's
code too, with every function of the file it calls.

Usage: stack_chain.py [--sizes NM_OUTPUT] FILE.su FILE.ci LIMIT FUNCTION..."""
import re
import sys

args = sys.argv[1:]
sizes_path = None
if args[:1] == ["--sizes"]:
    sizes_path, args = args[1], args[2:]
su_path, ci_path, limit, names = args[0], args[1], int(args[2]), args[3:]


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
code = {}
if sizes_path:
    for line in open(sizes_path):
        fields = line.split()
        if len(fields) == 4 and fields[2] in "tT":
            code[function(fields[3])] = code.get(function(fields[3]), 0) + int(fields[1], 16)


def deepest(name, seen=()):
    below = [deepest(c, seen + (name,)) for c in calls.get(name, ()) if c in frames and c not in seen]
    return frames[name] + max(below, default=0)


def reached(name, seen):
    seen.add(name)
    for c in calls.get(name, ()):
        if c in frames and c not in seen:
            reached(c, seen)
    return seen


missing = [n for n in names if n not in frames]
if missing:
    sys.exit(f"not found in {su_path}: {' '.join(missing)}")
for name in names:
    text = f"stack of {name}: frame {frames[name]} bytes, deepest chain {deepest(name)} bytes"
    if sizes_path:
        chain = sorted(reached(name, set()))
        text += f"; code {sum(code.get(c, 0) for c in chain)} bytes ({', '.join(chain)})"
    print(text)
if deepest(names[0]) > limit:
    sys.exit(f"{names[0]}: a chain of {deepest(names[0])} bytes is above {limit}")
