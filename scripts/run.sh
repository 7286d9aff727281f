#!/usr/bin/env bash
# Builds the command-line tool and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
# A warning fails the build: the release build of the tool is kept warning-free.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELT_TESTS=OFF -DVELT_BENCH=OFF \
  -DVELT_WERROR=ON >/dev/null
cmake --build build/release --target veltmeta
tool=build/release/tools/veltmeta/veltmeta
"$tool" --version
# The main job: the metadata panels of both samples, merged into one set.
"$tool" samples/photo.jpg samples/clip.mp4
