#!/bin/sh
# Mounts a small file system (a 256 KiB tmpfs) on the folder, so that tests can fill a
# disk for real. Only root may mount: elsewhere the folder stays an ordinary one without
# the marker, and the tests that need a full disk skip themselves. With "unmount" as the
# second word it takes the file system away again.
dir="$1"
mountpoint -q "$dir" 2>/dev/null && umount "$dir"
[ "$2" = unmount ] && exit 0
mkdir -p "$dir"
if mount -t tmpfs -o size=256k lurmo-small-disk "$dir" 2>/dev/null; then
  touch "$dir/small-disk-marker"
else
  echo "cannot mount a tmpfs here: the full-disk tests will skip" >&2
fi
exit 0
