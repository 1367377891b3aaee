#!/usr/bin/env bash
# Installs the Debian packages TAVU needs that are missing. "build" is enough to build and run
# the program; "test" adds what the test suite uses.
set -euo pipefail

build_packages=(
    build-essential cmake ninja-build pkg-config   # compiler and build tools
    qt6-base-dev libgl-dev                         # Qt 6 Core, Network, Gui, Widgets, Test
    qt6-charts-dev libqt6opengl6-dev               # Qt Charts: the Summary's chart, tavu chart
    libpulse-dev                                   # sound through the desktop's sound server
    libsqlite3-dev                                 # the usage store, without Qt in the logic rooms
    fonts-dejavu-core                              # the face the display texts are drawn in
    iproute2                                       # the ip command
    xdg-utils                                      # xdg-open: help file and addresses
)
test_packages=(
    libgtest-dev libbenchmark-dev                  # GoogleTest and Google Benchmark
    clang-format                                   # the tree stays formatted
    pulseaudio                                     # a private sound server with a null sink
    locales                                        # a German locale: numbers ignore the user's locale
    desktop-file-utils appstream                   # the desktop entry and AppStream data validate
    man-db                                         # the man page renders without warnings
    python3                                        # the exports are read back with csv and json
    tzdata                                         # Europe/Helsinki: spans across summer time changes
    ppp                                            # chat(8) for the dial tests, pppd run once
    dovecot-core dovecot-pop3d openssl             # a real mail server and its test certificates
    xinetd                                         # a real RFC 868 time server for the net tools
    xvfb x11-utils xdotool                         # a bare X server: the tray that comes late
    libxcb1-dev                                    # the fake notification area of that test
    network-manager dbus                           # the real NetworkManager on a private system bus
    python3-dbusmock                               # python3-dbus and GObject for the scripted NetworkManager
    modemmanager                                   # the real ModemManager with a simulated modem on a private bus
)

package_packages=(
    dpkg-dev file                                  # CPack's Debian package and its dependencies
    lintian                                        # checks the package
)

wanted=("${build_packages[@]}")
if [ "${1:-build}" = "test" ]; then
    wanted+=("${test_packages[@]}")
elif [ "${1:-build}" = "package" ]; then
    wanted+=("${package_packages[@]}")
fi

missing=()
for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ "${1:-build}" = "test" ] && ! locale -a 2>/dev/null | grep -qi '^de_DE.utf-\?8$'; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
