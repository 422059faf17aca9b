#!/usr/bin/env bash
# Builds the Windows program and the Wine test tools with the windows
# preset, into BINARY_DIR (so a native build's tests keep their own copy).
set -euo pipefail
source_dir=${1:?source dir}
binary_dir=${2:?binary dir}
cd "$source_dir"
cmake --preset windows -B "$binary_dir" -DPLOXWEN_BUILD_TESTS=ON
cmake --build "$binary_dir" -j2
