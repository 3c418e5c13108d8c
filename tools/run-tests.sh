#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. Each end-to-end test
# starts the private display and sound server it needs, so CTest runs them side
# by side, apart from those marked to run alone.
source "$(dirname "$0")/setup.sh"
install_missing "${build_packages[@]}" "${test_packages[@]}"
build_project

status=0
ctest --test-dir build --output-on-failure -j3 "$@" || status=$?

# The whole show once more, built with AddressSanitizer and LeakSanitizer,
# whatever the other tests said.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKARNVELDT_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)" --target karnveldt
ctest --test-dir build-asan --output-on-failure -R e2e_sanitized_run || status=$?
exit "$status"
