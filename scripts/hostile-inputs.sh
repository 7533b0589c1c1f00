#!/bin/sh
# Hostile inputs against the tools: files that are no files (FIFOs nobody
# writes to, links to endless devices), inputs far too large, an endless
# pipe and a picture whose few megabytes inflate to gigabytes. Every case
# must end within 10 seconds with a message or a failing exit status: no
# crash, no hang, no sanitizer report.
#
#   scripts/hostile-inputs.sh [RELEASE_BUILD [ASAN_BUILD]]
#
# Each case runs twice: with the release tools (default build/) under a
# 1 GiB address-space limit (ulimit -v), and with tools built with the
# address and undefined-behaviour sanitizers (default build-asan/, made here
# with only the targets the cases use). The sanitizer runtime reserves
# terabytes of address space for its shadow memory, so there the limit is
# the sanitizer's own resident-memory cap (hard_rss_limit_mb=1024) instead.
# With NO_BUILD=1 the tools are used as they are found (tools built
# elsewhere, an older build to compare with). Prints one line per case and
# run; exits 1 when any case failed.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
release=${1:-$root/build}
asan=${2:-$root/build-asan}
targets="qvf morvak fuzz_image_png"
jobs=${JOBS:-2}

build() {
  dir=$1
  shift
  [ -z "${NO_BUILD:-}" ] || return 0
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null || exit 2
  fi
  cmake --build "$dir" -j"$jobs" --target $targets >"$dir/hostile-build.log" 2>&1 ||
    { tail -20 "$dir/hostile-build.log"; echo "building $dir failed"; exit 2; }
}
build "$release" -DCMAKE_BUILD_TYPE=Release -DVORSANDT_ONLY_LAYERS=
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
build "$asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORSANDT_ONLY_LAYERS= \
  "-DCMAKE_CXX_FLAGS=$sanitize" \
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"

work=$(mktemp -d "${TMPDIR:-/tmp}/hostile-inputs.XXXXXX")
trap 'rm -rf "$work"' EXIT
data=$work/data
mkdir -p "$data"
(cd "$data" && "$release/tools/qvf/qvf" import LOCATIONS "$root/resources/sample-data/LOCATIONS.csv" &&
  "$release/tools/qvf/qvf" import ITEMS "$root/resources/sample-data/ITEMS.csv") >/dev/null ||
  { echo "the sample tables could not be made"; exit 2; }
mkfifo "$data/endless.qry" "$data/silent.csv" "$data/silent.script"
ln -s /dev/zero "$data/zeros.qry"
ln -s /dev/zero "$data/zeros.csv"
truncate -s 300M "$data/huge.csv"
for name in endless zeros; do
  printf '%s\n' 'window QUERYBYEXAMPLE$WINDOW' \
    "expect text ?Status \"The query $name could not be opened: cannot read $name.qry: not a regular file.\"" \
    >"$work/$name.script"
done
# 1 x 1 pixels and 8 GiB of image data: blocks after a full flush do not
# depend on what came before, so one is made and repeated.
python3 - "$work/bomb.png" <<'EOF' || { echo "the PNG could not be made"; exit 2; }
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
zeros = b'\0' * (16 << 20)
c = zlib.compressobj(9)
first = c.compress(zeros) + c.flush(zlib.Z_FULL_FLUSH)
again = c.compress(zeros) + c.flush(zlib.Z_FULL_FLUSH)
stream = first + again * 511 + c.flush()
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 1, 1, 8, 6, 0, 0, 0))
for at in range(0, len(stream), 1 << 20):
    png += chunk(b'IDAT', stream[at:at + (1 << 20)])
open(sys.argv[1], 'wb').write(png + chunk(b'IEND', b''))
EOF

failed=0
# run KIND NAME EXPECTED_STATUS WANTED_TEXT COMMAND...: the command in the
# data folder under the run's limits; EXPECTED_STATUS "nonzero" takes any
# failing status below 128 (above are signals).
run() {
  kind=$1 name=$2 expected=$3 wanted=$4
  shift 4
  out=$work/$kind-$name.out
  start=$(date +%s)
  if [ "$kind" = release ]; then
    (cd "$data" && ulimit -v 1048576 && exec timeout 10 "$@") >"$out" 2>&1 </dev/null
  else
    (cd "$data" && ASAN_OPTIONS=hard_rss_limit_mb=1024:detect_leaks=0:abort_on_error=0 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 exec timeout 10 "$@") >"$out" 2>&1 </dev/null
  fi
  status=$?
  seconds=$(($(date +%s) - start))
  verdict=ok
  if [ $status -eq 124 ]; then
    verdict="hung (killed after 10 s)"
  elif [ $status -ge 128 ]; then
    verdict="died (status $status)"
  elif grep -q "AddressSanitizer\|LeakSanitizer\|runtime error:" "$out"; then
    verdict="sanitizer report"
  elif [ "$expected" = nonzero ] && [ $status -eq 0 ]; then
    verdict="status 0, a failure was expected"
  elif [ "$expected" != nonzero ] && [ $status -ne "$expected" ]; then
    verdict="status $status, $expected expected"
  elif [ -n "$wanted" ] && ! grep -qF "$wanted" "$out"; then
    verdict="no message \"$wanted\""
  fi
  printf '%-8s %-24s status %3s  %3ss  %s\n' "$kind" "$name" "$status" "$seconds" "$verdict"
  if [ "$verdict" != ok ]; then
    failed=1
    head -c 600 "$out" | sed 's/^/    | /'
  fi
}

for kind in release asan; do
  if [ "$kind" = release ]; then dir=$release; else dir=$asan; fi
  qvf=$dir/tools/qvf/qvf
  morvak=$dir/app/morvak
  fuzz=$dir/tests/fuzz/fuzz_image_png
  run $kind import-dev-zero nonzero "cannot read /dev/zero: not a regular file" \
    "$qvf" import ITEMS /dev/zero
  run $kind import-link-to-zero nonzero "cannot read zeros.csv: not a regular file" \
    "$qvf" import ITEMS zeros.csv
  run $kind import-huge-file nonzero "cannot read huge.csv: larger than 256 MB" \
    "$qvf" import ITEMS huge.csv
  run $kind import-endless-pipe nonzero "larger than 256 MB" \
    sh -c "yes 'ITE:ITEM' | \"$qvf\" import ITEMS /dev/stdin"
  run $kind open-fifo-query 0 "" \
    "$morvak" --open endless --headless --script "$work/endless.script"
  run $kind open-link-to-zero 0 "" \
    "$morvak" --open zeros --headless --script "$work/zeros.script"
  run $kind script-is-a-fifo nonzero "silent.script is not a regular file" \
    "$morvak" --headless --script silent.script
  run $kind png-inflate-bomb 0 "" "$fuzz" -runs=0 "$work/bomb.png"
  run $kind tables-still-sound 0 "" "$qvf" check ITEMS.QVF
done
exit $failed
