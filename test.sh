#!/usr/bin/env bash
# Installs what the build and the tests need and is missing (vsftpd and sshd unpacked, not installed),
# builds everything with AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test
# with ctest.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh --tests
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCVB_SANITIZE=ON -DCVB_TESTS=ON >/dev/null
cmake --build build/test
# Leak checking is off: Qt's platform plugins and fontconfig keep caches alive until exit.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd build/test
ctest --output-on-failure -j "$(nproc)" "$@"
