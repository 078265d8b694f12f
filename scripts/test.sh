#!/bin/sh
# Builds and runs every test: the default build, then the AddressSanitizer+UndefinedBehaviorSanitizer
# build, then the helper's concurrency tests under ThreadSanitizer.
# Usage: scripts/test.sh [default|asan|tsan ...]   (no argument: all three)
set -eu
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

presets="${*:-default asan tsan}"
jobs="$(nproc)"
for preset in $presets; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: test"
  ctest --preset "$preset" -j "$jobs"
done
