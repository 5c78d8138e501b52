#!/bin/sh
# Builds the folder tree with symbolic links that the engine tests measure:
#   root/a/loop -> ..        (leads back to an ancestor: must not be entered)
#   root/a/self -> .         (leads to its own folder)
#   root/b/data.bin          (100 bytes)
#   root/a/to_b -> ../b      (inside the target when root is measured: counts 0)
# and, when a second folder is named, the tree of the link rules there:
#   T/real/r.bin 8000, T/file.bin 4000, O/o.bin 6000, O/inner/i.bin 3000, F/f.bin 500
#   T/link_in -> real, T/flink -> file.bin                  (inside the target)
#   T/0_inner -> ../O/inner, T/a_out -> ../O, T/sub/b_out -> ../../O   (outside, shared)
#   T/sub/loop -> .., T/z_f -> ../F/f.bin, T/sub/zz_f -> ../../F/f.bin
set -e
root="$1"
rm -rf "$root"
mkdir -p "$root/a" "$root/b"
head -c 100 /dev/zero > "$root/b/data.bin"
head -c 10 /dev/zero > "$root/a/ten.bin"
ln -s .. "$root/a/loop"
ln -s . "$root/a/self"
ln -s ../b "$root/a/to_b"

rules="$2"
[ -n "$rules" ] || exit 0
rm -rf "$rules"
mkdir -p "$rules/T/real" "$rules/T/sub" "$rules/O/inner" "$rules/F"
head -c 8000 /dev/zero > "$rules/T/real/r.bin"
head -c 4000 /dev/zero > "$rules/T/file.bin"
head -c 6000 /dev/zero > "$rules/O/o.bin"
head -c 3000 /dev/zero > "$rules/O/inner/i.bin"
head -c 500 /dev/zero > "$rules/F/f.bin"
ln -s real "$rules/T/link_in"
ln -s file.bin "$rules/T/flink"
ln -s ../O/inner "$rules/T/0_inner"
ln -s ../O "$rules/T/a_out"
ln -s ../../O "$rules/T/sub/b_out"
ln -s .. "$rules/T/sub/loop"
ln -s ../F/f.bin "$rules/T/z_f"
ln -s ../../F/f.bin "$rules/T/sub/zz_f"
