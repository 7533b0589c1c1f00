#!/bin/bash
# Runs a scenario of run_torture.sh with its tables on a FUSE mount (bindfs
# over a scratch folder): a file system the program does not know as local,
# so every shared read takes the reader lock and reads the header through the
# file, and every lock goes through the FUSE file system's inode.
#
#   run_on_fuse.sh BIN_DIR SCENARIO [STRIDE]
#
# Where FUSE cannot be used (no bindfs, no /dev/fuse, a mount refused) the
# run is skipped with exit code 77 and says why. QVF (the qvf tool), when
# set, shows the read path the mounted files get.
set -u
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
skip() {
  echo "skipped: $1"
  exit 77
}
command -v bindfs >/dev/null 2>&1 || skip "bindfs is not installed (scripts/setup.sh installs it)"
[ -c /dev/fuse ] || skip "no /dev/fuse in this system"
[ -r /dev/fuse ] && [ -w /dev/fuse ] || skip "/dev/fuse is not readable and writable for $(id -un)"
base=$(mktemp -d "${TMPDIR:-/tmp}/fuse.XXXXXX")
mkdir "$base/under" "$base/mnt"
unmount() {
  fusermount3 -u "$base/mnt" 2>/dev/null || fusermount -u "$base/mnt" 2>/dev/null ||
    umount "$base/mnt" 2>/dev/null
}
trap 'unmount; rm -rf "$base"' EXIT
if ! bindfs "$base/under" "$base/mnt" >"$base/err" 2>&1; then
  skip "bindfs cannot mount here: $(head -1 "$base/err")"
fi
# The statfs type of every FUSE file system.
type=$(stat -f -c %t "$base/mnt")
if [ "$type" != 65735546 ]; then
  echo "FAIL: the mount reports file system type 0x$type, not FUSE"
  exit 1
fi
if [ -n "${QVF:-}" ]; then
  mkdir "$base/mnt/probe"
  "$bin/torture_worker" "$base/mnt/probe" --contend 9 --steps 0 >/dev/null 2>&1
  "$QVF" info "$base/mnt/probe/COMPANIES.QVF" | grep -E "^(shared reads|read path because):"
  rm -rf "$base/mnt/probe"
fi
echo "tables on bindfs (FUSE) at $base/mnt"
TMPDIR="$base/mnt" bash "$here/run_torture.sh" "$bin" "$2" "${3:-1}"
