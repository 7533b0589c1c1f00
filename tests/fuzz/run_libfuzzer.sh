#!/bin/sh
# Runs the libFuzzer build of the fuzz targets, one after the other.
#
#   tests/fuzz/run_libfuzzer.sh BUILD_DIR [SECONDS] [TARGET...]
#
# BUILD_DIR was configured with -DVORSANDT_LIBFUZZER=ON (see README.md).
# Each target runs SECONDS seconds (60 by default) over its committed seeds
# and a working corpus kept in BUILD_DIR/fuzz-corpus/TARGET, which grows from
# run to run. Crashes, leaks and timeouts are written to
# BUILD_DIR/fuzz-artifacts/. Exits 1 when any target failed.
set -u
build=${1:?usage: run_libfuzzer.sh BUILD_DIR [SECONDS] [TARGET...]}
seconds=${2:-60}
[ $# -ge 2 ] && shift 2 || shift $#
here=$(cd "$(dirname "$0")" && pwd)
targets=${*:-"picture expression settings text_file layout window_definition column_format qvf_file table_definition image_jpeg image_png image_gif image_bmp image_ico image_pcx image_wmf"}
mkdir -p "$build/fuzz-artifacts"
status=0
for target in $targets; do
  binary="$build/tests/fuzz/fuzz_$target"
  if [ ! -x "$binary" ]; then
    echo "missing $binary (build the fuzz_all target first)" >&2
    status=1
    continue
  fi
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  dict=
  [ -f "$here/dict/$target.dict" ] && dict="-dict=$here/dict/$target.dict"
  max_len=4096
  timeout=10
  # Damaged table definitions make some QVF inputs slow (not stuck) under the
  # sanitizers.
  [ "$target" = qvf_file ] && max_len=16384 && timeout=60
  log="$build/fuzz-artifacts/$target.log"
  echo "fuzz_$target: $seconds s (log $log)"
  # shellcheck disable=SC2086
  if ! "$binary" -max_total_time="$seconds" -timeout=$timeout -rss_limit_mb=2048 -max_len=$max_len \
      $dict -artifact_prefix="$build/fuzz-artifacts/$target-" -print_final_stats=1 \
      "$corpus" "$here/corpus/$target" >"$log" 2>&1; then
    echo "fuzz_$target FAILED:" >&2
    grep -E "ERROR|runtime error|fuzz invariant|Test unit written" "$log" | head -5 >&2
    status=1
  fi
  grep -E "stat::number_of_executed_units|stat::average_exec_per_sec" "$log" | sed 's/^/  /'
done
exit $status
