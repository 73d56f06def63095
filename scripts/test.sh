#!/usr/bin/env bash
# Sets up, builds and runs every test.
#   scripts/test.sh             the normal build in build/
#   scripts/test.sh --sanitize  everything built with AddressSanitizer and UndefinedBehaviorSanitizer
#                               in build-asan/, then the whole suite run on it
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ "${1:-}" = "--sanitize" ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVARI_SANITIZE=ON >/dev/null
  cmake --build build-asan --parallel "$(nproc)"
  # Leak checking is off: Qt, fontconfig and the platform plug-in keep allocations to process exit
  # by design, which would fail every window test. Every other ASan and UBSan finding fails the test.
  # An impossible allocation answers null, as the C library does, so its refusal is what gets tested.
  export ASAN_OPTIONS="detect_leaks=0:detect_stack_use_after_return=1:strict_string_checks=1:allocator_may_return_null=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan --output-on-failure --parallel "$(nproc)" --timeout 600
  exit
fi
scripts/build.sh
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --parallel "$(nproc)" --timeout 300
