#!/bin/sh
# Builds the folder tree with symbolic links that the engine tests measure:
#   root/a/loop -> ..        (leads back to an ancestor: must not be entered)
#   root/a/self -> .         (leads to its own folder)
#   root/b/data.bin          (100 bytes)
#   root/a/to_b -> ../b      (an ordinary link: entered like a folder)
set -e
root="$1"
rm -rf "$root"
mkdir -p "$root/a" "$root/b"
head -c 100 /dev/zero > "$root/b/data.bin"
head -c 10 /dev/zero > "$root/a/ten.bin"
ln -s .. "$root/a/loop"
ln -s . "$root/a/self"
ln -s ../b "$root/a/to_b"
