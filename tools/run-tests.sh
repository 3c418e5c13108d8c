#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. Each end-to-end test
# starts the private display and sound server it needs, so CTest runs them side
# by side, as many as their weight allows (see tests/CMakeLists.txt). One of
# them plays the whole show built with AddressSanitizer and LeakSanitizer, in
# build-asan/, which another test builds first.
source "$(dirname "$0")/setup.sh"
install_missing "${build_packages[@]}"
# What only the tests need installs while the project builds.
install_missing "${test_packages[@]}" >build-packages.log 2>&1 &
installing=$!
build_project -DKARNVELDT_SANITIZED_BUILD="$PWD/build-asan"
wait "$installing" || { cat build-packages.log; exit 1; }
rm -f build-packages.log

ctest --test-dir build --output-on-failure -j4 "$@"
