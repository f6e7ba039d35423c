#!/usr/bin/env bash
# Runs the host with several dimensions (the HostDrawingRun case of
# cadhost_tests), closes it, and reads its DXF and SVG back.
#   check_drawing.sh SOURCE_ROOT CADHOST_TESTS_EXE OUT_DIR
set -euo pipefail
root=$1 exe=$2 out=$3
rm -rf "$out"
mkdir -p "$out"
CADHOST_DRAWING_OUT="$out" "$root/scripts/wine-run" "$exe" --gtest_filter='HostDrawingRun.*' --gtest_brief=1
exec /usr/bin/python3 "$(dirname "$0")/check_dxf.py" "$out/drawing.dxf" "$out/drawing.svg"
