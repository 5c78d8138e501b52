#!/usr/bin/env python3
"""One burst of random changes to a folder tree, made as another program would make them:
files created, grown, shrunk, deleted, renamed and moved over existing ones; folders made
with content, deleted, deleted and made again under the same name, renamed, moved within
the tree and moved in from outside; at every depth.

usage: soak_burst.py TARGET OUTSIDE SEED CHANGES
"""
import os
import random
import shutil
import sys

target, outside, seed, changes = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(seed)
serial = 0
# With SOAK_LOG set, each change is appended there, so that a burst the listing does not
# agree with can be read back step by step.
log = open(os.environ["SOAK_LOG"], "a") if os.environ.get("SOAK_LOG") else None


def note(*words):
    if log:
        log.write(f"{seed} " + " ".join(str(w).replace(target, "T").replace(outside, "O") for w in words) + "\n")


def new_name(prefix):
    global serial
    serial += 1
    return f"{prefix}{seed}-{serial}"


def scan():
    folders, files = [], []
    for root, dirs, names in os.walk(target):
        folders.extend(os.path.join(root, d) for d in dirs)
        files.extend(os.path.join(root, n) for n in names)
    return folders, files


def write(path, size):
    with open(path, "wb") as out:
        out.write(b"\0" * size)


def fill(folder, depth):
    os.makedirs(folder, exist_ok=True)
    for _ in range(rng.randrange(1, 5)):
        write(os.path.join(folder, new_name("f")), rng.randrange(0, 9000))
    if depth > 0 and rng.random() < 0.6:
        fill(os.path.join(folder, new_name("d")), depth - 1)


def inside(path, folder):
    return path == folder or path.startswith(folder + os.sep)


def change():
    folders, files = scan()
    anywhere = [target] + folders
    op = rng.randrange(12)
    if op == 0 or (not files and op in (1, 2, 3, 10)):
        path = os.path.join(rng.choice(anywhere), new_name("n"))
        note("new", path)
        write(path, rng.randrange(0, 20000))
    elif op == 1:
        path = rng.choice(files)
        note("write", path)
        with open(path, "ab" if rng.random() < 0.5 else "wb") as out:
            out.write(b"\0" * rng.randrange(0, 12000))
    elif op == 2 or (op == 0 and len(files) > 400):
        path = rng.choice(files)
        note("remove", path)
        os.remove(path)
    elif op == 3:
        path = rng.choice(files)
        to = os.path.join(os.path.dirname(path), new_name("r"))
        note("rename", path, to)
        os.rename(path, to)
    elif op == 4:
        path = os.path.join(rng.choice(anywhere), new_name("d"))
        note("fill", path)
        fill(path, 3)
    elif op == 5 and folders:
        path = rng.choice(folders)
        note("rmtree", path)
        shutil.rmtree(path)
    elif op == 6 and folders:
        # Deleted and made again under its name, then filled, in a quick loop.
        folder = rng.choice(folders)
        note("remake", folder)
        for _ in range(rng.randrange(1, 4)):
            shutil.rmtree(folder, ignore_errors=True)
            fill(folder, 2)
    elif op == 7 and folders:
        folder = rng.choice(folders)
        to = os.path.join(os.path.dirname(folder), new_name("R"))
        note("rename-folder", folder, to)
        os.rename(folder, to)
    elif op == 8 and folders:
        folder = rng.choice(folders)
        destinations = [f for f in anywhere if not inside(f, folder) and f != os.path.dirname(folder)]
        if destinations:
            to = os.path.join(rng.choice(destinations), new_name("M"))
            note("move-folder", folder, to)
            os.rename(folder, to)
    elif op == 9:
        made = os.path.join(outside, new_name("o"))
        fill(made, 2)
        to = os.path.join(rng.choice(anywhere), new_name("I"))
        note("move-in", made, to)
        os.rename(made, to)
    elif op == 10 and len(files) > 1:
        source, victim = rng.sample(files, 2)
        note("replace", source, victim)
        os.replace(source, victim)
    elif op == 11 and files:
        # A file written again right after it was made elsewhere and moved over another.
        made = os.path.join(outside, new_name("t"))
        write(made, rng.randrange(0, 15000))
        victim = rng.choice(files)
        note("replace-in", made, victim)
        os.replace(made, victim)


os.makedirs(outside, exist_ok=True)
for _ in range(changes):
    try:
        change()
    except OSError:
        pass   # the tree changed under the choice (a folder moved into itself, ...)
