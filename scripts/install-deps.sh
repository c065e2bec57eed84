#!/usr/bin/env bash
# Installs the Debian 12 packages Dravik needs to build, test and run.
# Only what is missing is installed; run as root or with sudo.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config python3
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev libzip-dev zlib1g-dev
  # Compressed logs: bzip2, xz and zstd through libarchive's filters (gzip with
  # zlib); the tests compress their logs with the command line tools.
  libarchive-dev bzip2 xz-utils zstd
  # NetCDF outputs, written with the netCDF library; ncdump reads them back in
  # the tests, and the check that analysis tools load every output uses
  # Python's xarray (with netCDF4) and pandas.
  libnetcdf-dev netcdf-bin python3-xarray python3-netcdf4 python3-pandas
  # The shortest text of a double in the CSV output: the formatting library's
  # headers only.
  libfmt-dev
  # The program's icon is an SVG file: Qt draws it with its SVG image plugin.
  libqt6svg6
  # The quick look's charts, and their export as SVG drawings.
  # (Qt Charts finds its OpenGL module through libqt6opengl6-dev.)
  qt6-charts-dev qt6-svg-dev libqt6opengl6-dev
  xvfb xauth
  # The desktop program's tests and screenshots: the desktop entry validator,
  # keys typed into the real X server, window dumps turned into PNG files, and
  # a small window manager that draws the window titles.
  desktop-file-utils xdotool x11-utils x11-apps netpbm twm
  # The fuzz targets: clang with libFuzzer and its sanitizer runtimes.
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
