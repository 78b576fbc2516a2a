# Helper of run.sh: reads the fault list, keeps the scratch copy in step with
# the working tree, and applies one fault to it.
#   mutate.py ids LIST                   the ids, one a line
#   mutate.py sync ROOT COPY             copy what differs, drop what is gone
#   mutate.py apply LIST ID COPY         change the copy; prints the file, then the ctest arguments
import os
import shlex
import shutil
import sys

SKIP = {".git", "build"}


def faults(path):
    found, current = {}, None
    for line in open(path, encoding="utf-8").read().splitlines():
        if line.startswith("["):
            ident, _, what = line[1:].partition("]")
            current = found[ident] = {"what": what.strip(), "old": [], "new": []}
        elif current is not None and line[:5] in ("file:", "tests") and ":" in line:
            key, _, value = line.partition(":")
            current[key] = value.strip()
        elif current is not None and line[:4] in ("old:", "new:"):
            current[line[:3]].append(line[5:])
    return found


def sync(root, copy):
    kept = set()
    for top, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if not (top == root and (d in SKIP or d.startswith("build")))]
        for name in files:
            rel = os.path.relpath(os.path.join(top, name), root)
            kept.add(rel)
            src, dst = os.path.join(root, rel), os.path.join(copy, rel)
            if not os.path.exists(dst) or open(src, "rb").read() != open(dst, "rb").read():
                os.makedirs(os.path.dirname(dst), exist_ok=True)
                shutil.copyfile(src, dst)  # a fresh time stamp: ninja rebuilds it
    for top, dirs, files in os.walk(copy):
        dirs[:] = [d for d in dirs if not (top == copy and d in SKIP)]
        for name in files:
            if os.path.relpath(os.path.join(top, name), copy) not in kept:
                os.remove(os.path.join(top, name))


def apply(path, ident, copy):
    fault = faults(path)[ident]
    target = os.path.join(copy, fault["file"])
    text = open(target, encoding="utf-8").read()
    old, new = "\n".join(fault["old"]), "\n".join(fault["new"])
    if not old or text.count(old) != 1:
        sys.exit(f"{ident}: the old text occurs {text.count(old) if old else 0} times in {fault['file']}")
    open(target, "w", encoding="utf-8").write(text.replace(old, new))
    print(fault["file"])
    print(" ".join(shlex.quote(a) for a in shlex.split(fault.get("tests", ""))))


def ids(path):
    print("\n".join(f"{k}\t{v['what']}" for k, v in faults(path).items()))


if __name__ == "__main__":
    {"ids": ids, "sync": sync, "apply": apply}[sys.argv[1]](*sys.argv[2:])
