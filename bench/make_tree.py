#!/usr/bin/env python3
"""Makes the scanner benchmark's tree: TOPS top directories (default 20), each a binary tree
LEVELS levels deep (default 10: 1,023 directories each), FILES sparse files in each directory
(default 10), costing little disk. With the defaults: 20,460 directories and 204,600 files.

Usage: make_tree.py ROOT [TOPS [LEVELS [FILES]]]   (does nothing when ROOT/.complete exists)
"""
import os
import random
import sys

root = sys.argv[1]
tops = int(sys.argv[2]) if len(sys.argv) > 2 else 20
levels = int(sys.argv[3]) if len(sys.argv) > 3 else 10
files_each = int(sys.argv[4]) if len(sys.argv) > 4 else 10
if os.path.exists(os.path.join(root, ".complete")):
    sys.exit(0)
os.makedirs(root, exist_ok=True)
rng = random.Random(42)
dirs = files = 0


def fill(path, depth):
    global dirs, files
    os.mkdir(path)
    dirs += 1
    for i in range(files_each):
        name = os.path.join(path, f"file{i}.dat")
        with open(name, "wb") as f:
            f.write(b"x" * rng.randrange(0, 200))  # a little real content
        os.truncate(name, rng.randrange(0, 1 << 24))  # the rest is a hole
        files += 1
    if depth < levels:
        fill(os.path.join(path, "a"), depth + 1)
        fill(os.path.join(path, "b"), depth + 1)


for top in range(tops):
    fill(os.path.join(root, f"top{top:02d}"), 1)
open(os.path.join(root, ".complete"), "w").close()
print(f"{dirs} directories, {files} files under {root}", file=sys.stderr)
