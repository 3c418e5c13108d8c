#!/usr/bin/env bash
# Installs what is missing, builds, and starts the show.
source "$(dirname "$0")/setup.sh"
install_missing "${build_packages[@]}" pulseaudio
build_project
exec build/app/karnveldt "$@"
