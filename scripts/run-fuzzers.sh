#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds (default
# 60), all at once, from its seed corpus fuzz/corpus/<target>/ with memory and allocation limits.
# The targets that take whole HEIC files are also seeded with the shared corpus of real photos
# (../shared/corpus/heic) when it is there, copied into their work folder only.
# A crash leaves its input in build/fuzz/findings/<target>/ and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=$(nproc 2>/dev/null || echo 4)

CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPRAVIX_FUZZ=ON -DPRAVIX_BUILD_TESTS=OFF -DPRAVIX_BENCH=OFF >/dev/null
cmake --build build/fuzz -j"$jobs"

mapfile -t targets < <(find build/fuzz/fuzz -maxdepth 1 -type f -name '*_fuzzer' -perm -u+x | sort)
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets"; exit 0; }

pids=()
for target in "${targets[@]}"; do
  name=$(basename "$target")
  work=build/fuzz/work/$name findings=build/fuzz/findings/$name
  rm -rf "$work"; mkdir -p "$work" "$findings"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  case "$name" in
    convert_entry_fuzzer) [ -d ../shared/corpus/heic ] && cp ../shared/corpus/heic/* "$work/" ;;
  esac
  ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
    "$target" "$work" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=1024 \
    -timeout=20 -artifact_prefix="$findings/" -print_final_stats=0 > "build/fuzz/$name.log" 2>&1 &
  pids+=("$!:$name")
done

failed=0
for entry in "${pids[@]}"; do
  pid=${entry%%:*} name=${entry#*:}
  if wait "$pid"; then
    echo "fuzz $name: clean for ${seconds}s"
  else
    echo "fuzz $name: FAILED (see build/fuzz/$name.log, inputs in build/fuzz/findings/$name/)"
    tail -30 "build/fuzz/$name.log"
    failed=1
  fi
done
exit $failed
