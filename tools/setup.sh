# Sourced by the run scripts: installs what a fresh Debian 12 or 13 machine lacks and
# builds the project into build/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

install_missing() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    # The package lists once per run of the script.
    [ -n "${lists_updated:-}" ] || $sudo apt-get update -qq
    lists_updated=1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build_packages=(cmake g++ make pkg-config qtbase5-dev qtmultimedia5-dev libqt5multimedia5-plugins libxmp-dev
                libpulse-dev libpipewire-0.3-dev libx11-dev libxcb1-dev libxcb-present-dev libxcb-shm0-dev
                libxcb-xfixes0-dev libwayland-dev libwayland-bin wayland-protocols qtbase5-private-dev)
# What the end-to-end tests start and look with: displays (X11 with and without a
# window manager, Wayland), sound servers (PulseAudio, PipeWire), the package,
# and the backtrace of a show that dies.
test_packages=(xvfb xauth x11-utils xdotool imagemagick openbox weston wayland-utils qtwayland5
               pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber dbus-daemon
               desktop-file-utils dpkg-dev file bc ffmpeg lintian gdb)

build_project() {
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build build -j"$(nproc)"
}
