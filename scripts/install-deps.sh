#!/usr/bin/env bash
# Installs the Debian packages the panel needs to build and run, skipping those already there.
set -euo pipefail

# --with-screens: what screenshots need; --with-fuzz: clang and its libFuzzer runtime (make fuzz);
# --with-package: dpkg-shlibdeps and file, which CPack's Debian generator runs (make package).
# python3-pyvisa-py: the automation port's end-to-end test talks to it through a client nobody here wrote.
# libtango-dev: motor-panel-tango, the Tango device server in front of the port; python3-tango
# (PyTango) and python3-pymeasure: the clients nobody here wrote that its tests and the Python
# instrument's use.
# mariadb-server-core, mariadb-client-core and tango-db (Debian's Tango database server and its
# schema): the test that runs motor-panel-tango on a Tango site of its own starts its own MariaDB
# and database server; the -core packages bring no system service to start. dbconfig-no-thanks
# keeps tango-db from setting up a database of the machine's at install.
packages=(cmake ninja-build g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev python3-pyvisa python3-pyvisa-py
          libtango-dev python3-tango python3-pymeasure
          mariadb-server-core mariadb-client-core dbconfig-no-thanks tango-db)
for option in "$@"; do
    case "$option" in
        --with-screens) packages+=(xvfb xauth imagemagick) ;;
        --with-fuzz) packages+=(clang libclang-rt-dev) ;;
        --with-package) packages+=(dpkg-dev file) ;;
        *)
            echo "install-deps.sh: unknown option $option" >&2
            exit 2
            ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
