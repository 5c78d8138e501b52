#!/usr/bin/env python3
"""Checks `lurmo-report --format ncdu` against ncdu itself and against the report's own
rows: ncdu must import the file (and export it again), and every folder's total of both
sizes, summed by ncdu's reading of the file, must equal the size the report lists for
that folder when its parent is measured.

Usage: check_ncdu_export.py REPORT_EXE [FOLDER]   (without FOLDER, a small tree of known
shape is made in a temporary folder). Runs the report under wine."""
import json
import os
import subprocess
import sys
import tempfile


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_report(report, *args):
    # Files rather than pipes: a Wine service started by this call would inherit a pipe
    # and keep it open long after the report has ended.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        status = subprocess.run(["wine", report, *args], stdin=subprocess.DEVNULL, stdout=out, stderr=err).returncode
        out.seek(0)
        err.seek(0)
        return status, out.read(), err.read()


def make_tree(root):
    def write(path, size):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(b"x" * size)
    write(f"{root}/top.txt", 10)
    write(f"{root}/写真/2026/一月.jpg", 5000)
    write(f"{root}/写真/2026/empty.dat", 0)
    write(f"{root}/写真/cover \"a\".png", 4097)
    write(f"{root}/src/deep/deeper/deepest/leaf.c", 123456)
    write(f"{root}/src/main.c", 4096)
    os.makedirs(f"{root}/empty folder", exist_ok=True)


def totals(node, path, found):
    """Fills found[path] = (asize, dsize) for every folder; returns the node's totals."""
    if isinstance(node, dict):
        return node.get("asize", 0), node.get("dsize", 0)
    info, children = node[0], node[1:]
    own = path + [info["name"]] if path is not None else []
    asize, dsize = info.get("asize", 0), info.get("dsize", 0)
    for child in children:
        a, d = totals(child, own, found)
        asize, dsize = asize + a, dsize + d
    found[tuple(own)] = (asize, dsize)
    return asize, dsize


def rows_of(report, folder, size):
    status, out, err = run_report(report, "--mode", "tree", "--size", size, "--format", "unicode", "--no-comma",
                                  windows_path(folder))
    if status != 0:
        sys.exit(f"report on {folder} failed ({status}): {err.decode('utf-8', 'replace')}")
    lines = out.decode("utf-16").splitlines()[1:]
    return {line.split("\t")[0]: int(line.split("\t")[1]) for line in lines if line}


def main():
    report = sys.argv[1]
    with tempfile.TemporaryDirectory() as scratch:
        folder = sys.argv[2] if len(sys.argv) > 2 else os.path.join(scratch, "tree")
        if len(sys.argv) <= 2:
            make_tree(folder)
        exported = os.path.join(scratch, "lurmo.json")
        status, out, err = run_report(report, "--format", "ncdu", "--output", windows_path(exported),
                                      windows_path(folder))
        if status != 0:
            sys.exit(f"ncdu export failed ({status}): {err.decode('utf-8', 'replace')}")
        reexported = os.path.join(scratch, "ncdu.json")
        imported = subprocess.run(["ncdu", "-f", exported, "-o", reexported], stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if imported.returncode != 0:
            sys.exit(f"ncdu refused the export: {imported.stderr.decode('utf-8', 'replace')}")
        with open(reexported, encoding="utf-8") as f:
            tree = json.load(f)
        found = {}
        totals(tree[3], None, found)

        # Every folder's totals as ncdu read them, against the report's row for it.
        checked, mismatches = 0, []
        for parent in sorted(found):
            children = [path for path in found if len(path) == len(parent) + 1 and path[:-1] == parent]
            if not children:
                continue
            on_disk = os.path.join(folder, *parent)
            logical, used = rows_of(report, on_disk, "logical"), rows_of(report, on_disk, "used")
            for child in children:
                name = child[-1]
                want = (logical.get(name), used.get(name))
                if found[child] != want:
                    mismatches.append(f"{os.path.join(*child)}: ncdu {found[child]}, report {want}")
                checked += 1
        if mismatches:
            sys.exit("totals differ:\n" + "\n".join(mismatches))
        if len(sys.argv) <= 2 and checked != 7:
            sys.exit(f"expected the 7 folders of the test tree, checked {checked}")
        print(f"ncdu imported the export; {checked} folders agree on both sizes")


main()
