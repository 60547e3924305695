#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing, builds
# everything (program, desktop program, tests, benchmarks) in build/ and runs
# the test suite there; ctest ends with a summary line and the status is
# non-zero when any test fails.
# Meant for a Debian or Ubuntu machine, as root or as a user who may sudo.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

# The format tests read Kalvo's files with Biopython and bedtools, as users do.
bash tools/install_missing.sh tests cmake=cmake g++=g++ make=make zlib1g-dev libgtest-dev libgmock-dev \
  libbenchmark-dev nlohmann-json3-dev qt6-base-dev qt6-svg-dev python3 python3-biopython bedtools

jobs="$(nproc 2>/dev/null || echo 2)"
echo "tests: building in build/"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKALVO_BUILD_TESTS=ON -DKALVO_BUILD_BENCH=ON -DKALVO_BUILD_GUI=ON
cmake --build build -j"$jobs"
echo "tests: running the test suite"
(cd build && ctest --output-on-failure --no-tests=error -j"$jobs")
