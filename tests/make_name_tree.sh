#!/bin/sh
# Builds, from the host, a folder tree whose names Wine reads right only through the
# locale's character set (made through Wine, the names would round-trip through the same
# decoding and hide a wrong one). Sizes in bytes:
#   root/日本語フォルダ/中身.bin           3000
#   root/日本語フォルダ/サブ/𠮷.bin         200   (U+20BB7, beyond the BMP)
#   root/Café/naïve.txt                   1234
#   root/naïve.txt                          77
#   root/𠮷野家😀.txt                     4321
set -e
root="$1"
rm -rf "$root"
mkdir -p "$root/日本語フォルダ/サブ" "$root/Café"
head -c 3000 /dev/zero > "$root/日本語フォルダ/中身.bin"
head -c 200 /dev/zero > "$root/日本語フォルダ/サブ/𠮷.bin"
head -c 1234 /dev/zero > "$root/Café/naïve.txt"
head -c 77 /dev/zero > "$root/naïve.txt"
head -c 4321 /dev/zero > "$root/𠮷野家😀.txt"
