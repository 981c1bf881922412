#!/usr/bin/env bash
# Starts Pravix from this source tree: configures the release build (build/release) the first
# time, brings the program up to date (quick when nothing changed), then runs it. Arguments go to
# the program (Qt's own, such as -platform offscreen). Its output goes to its log file, not here.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target pravix -j"$(nproc 2>/dev/null || echo 4)"

echo "Starting Pravix. Its log: ${XDG_DATA_HOME:-$HOME/.local/share}/Pravix/"
exec "$build/app/pravix" "$@"
