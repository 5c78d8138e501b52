#!/usr/bin/env python3
"""Checks the link rules on a real tree full of links (default /usr/share/doc, where many
package folders are links to others): the report's total of file sizes must equal the
folder's regular files plus what its links reach outside it, each outside folder once,
as computed here from the host's own view of the tree.

Wine lists a symbolic link to a file as a plain file of its target's size (nothing in
any query tells it apart), so under Wine such a link counts as a file; the figure a
Windows reading would give is printed beside it.

Usage: check_doc_links.py REPORT_EXE [FOLDER]. Exit 77 (skipped) when FOLDER is absent."""
import os
import subprocess
import sys
import tempfile


def inside(path, folder):
    return path == folder or path.startswith(folder + os.sep)


def plain_bytes(path, file_links=False):
    """The regular files' bytes below path; with file_links, links to files count as files
    of their target's size, as Wine lists them."""
    if os.path.isfile(path):
        return os.stat(path).st_size
    total = 0
    for parent, _, files in os.walk(path):
        for name in files:
            item = os.path.join(parent, name)
            if not os.path.islink(item):
                total += os.lstat(item).st_size
            elif file_links and os.path.isfile(item):
                total += os.stat(item).st_size
    return total


def reached_once(root, links, file_links=False):
    """What the links reach outside root, each item once, the first link by path first."""
    reached = []   # outside items counted so far, none within another
    total = 0
    for link in links:
        target = os.path.realpath(link)
        if not os.path.exists(target) or inside(target, root) or any(inside(target, r) for r in reached):
            continue
        inner = [r for r in reached if inside(r, target)]
        total += plain_bytes(target, file_links) - sum(plain_bytes(r, file_links) for r in inner)
        reached = [r for r in reached if r not in inner] + [target]
    return total


def expected(root):
    """Totals as Wine shows the tree (file links as plain files) and as Windows would."""
    links = sorted(os.path.join(parent, name) for parent, dirs, files in os.walk(root)
                   for name in dirs + files if os.path.islink(os.path.join(parent, name)))
    file_links = [link for link in links if os.path.isfile(link)]
    folder_links = [link for link in links if os.path.isdir(link)]
    regular = plain_bytes(root)
    as_wine = regular + sum(os.stat(link).st_size for link in file_links) + reached_once(root, folder_links, True)
    return as_wine, regular + reached_once(root, links)


def main():
    report = sys.argv[1]
    root = os.path.realpath(sys.argv[2] if len(sys.argv) > 2 else "/usr/share/doc")
    if not os.path.isdir(root):
        print(f"{root} is absent: skipped")
        return 77
    with tempfile.TemporaryFile() as out:
        # A file rather than a pipe: a Wine service started by the call would hold a pipe open.
        status = subprocess.run(["wine", report, "--size", "logical", "--format", "tab", "--no-comma",
                                 "Z:" + root.replace("/", "\\")], stdin=subprocess.DEVNULL, stdout=out).returncode
        out.seek(0)
        lines = out.read().decode("cp932", "replace").replace("\r", "").splitlines()
    if status != 0:
        print(f"the report ended with {status}")
        return 1
    listed = sum(int(line.split("\t")[1]) for line in lines[1:] if line)
    as_wine, as_windows = expected(root)
    print(f"report {listed}; expected {as_wine} (file links as Wine lists them), {as_windows} as Windows reads links")
    return 0 if listed == as_wine else 1


if __name__ == "__main__":
    sys.exit(main())
