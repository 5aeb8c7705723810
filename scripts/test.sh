#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a normal build (g++), then a clang build with
# AddressSanitizer + UndefinedBehaviorSanitizer that also builds the fuzz targets and replays
# their corpora. Any test failure or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

jobs=${QOR_JOBS:-$(nproc)}
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy QOR_NO_DIALOGS=1

echo "== normal build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOR_WERROR=ON >/dev/null
ninja -C build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

echo "== sanitizer build (ASan + UBSan, fuzz targets)"
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DQOR_SANITIZE=ON -DQOR_FUZZ=ON -DQOR_BENCH=OFF -DQOR_WERROR=ON >/dev/null
ninja -C build-asan -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
# use_tls=0: the leak checker of this clang mis-tracks dynamic TLS blocks of libraries loaded
# with dlopen (the GL driver) and can fault reading them at exit ("Tracer caught signal 11").
# Our code keeps no heap pointer in thread-local storage, so nothing of ours goes unscanned; the
# dynamic loader's own blocks, reachable only from TLS, are suppressed in lsan.supp.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0:use_tls=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# llvmpipe rasterises on the calling thread: its worker threads alive at exit can crash the
# leak checker's thread walk.
export LP_NUM_THREADS=0
# Mesa's shader cache writer thread is another such thread.
export MESA_SHADER_CACHE_DISABLE=true
(cd build-asan && ctest --output-on-failure -j "$jobs")

echo "== web build in headless Chromium"
QOR_JOBS="$jobs" ./scripts/test-web.sh
