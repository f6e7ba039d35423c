#!/usr/bin/env bash
# Runs the host with several dimensions (the HostDrawingRun case of
# cadhost_tests), closes it, and reads its DXF and SVG back.
#   check_drawing.sh SOURCE_ROOT CADHOST_TESTS_EXE OUT_DIR
set -euo pipefail
root=$1 exe=$2 out=$3
rm -rf "$out"
mkdir -p "$out"
# Wine's output goes to a file: a Wine service started on the way would keep
# a pipe to ctest open long after the run.
status=0
CADHOST_DRAWING_OUT="$out" "$root/scripts/wine-run" "$exe" --gtest_filter='HostDrawingRun.*' --gtest_brief=1 \
  >"$out/run.log" 2>&1 || status=$?
cat "$out/run.log"
[ $status = 0 ] || exit $status
exec /usr/bin/python3 "$(dirname "$0")/check_dxf.py" "$out/drawing.dxf" "$out/drawing.svg"
