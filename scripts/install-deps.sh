#!/usr/bin/env bash
# Installs the Debian 12 packages OlmConfig needs to build, run and test, when they are missing.
# Runs apt-get as root; as another user it prints the exact command to run instead.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config          # build
  qt6-base-dev qt6-translations-l10n        # Qt 6 Widgets/Network/Test and Qt's own Polish texts
  libgtest-dev                              # unit tests of the plain layers
  clang libclang-rt-14-dev                  # libFuzzer and the sanitizer runtimes
  nlohmann-json3-dev                        # scenario files of the controller simulator
  iproute2                                  # network namespaces of the end-to-end tests
  xvfb xauth                                # the README screenshot under a virtual display
  fonts-liberation2                         # Arial's metrics (Liberation Sans) for the window's font
  librsvg2-bin icoutils                     # the icon's PNG sizes and Windows .ico, rendered from its SVG
  lowdown                                   # manual pages from Markdown
  dpkg-dev                                  # make package: dpkg-shlibdeps finds the package's dependencies
  lintian desktop-file-utils appstream man-db  # checks of the package, its menu entry, metadata, manual pages
  llvm                                      # llvm-rc: checks the Windows resource scripts
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

cmd=(apt-get install -y --no-install-recommends "${missing[@]}")
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run as root:" >&2
  echo "  apt-get update && ${cmd[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
"${cmd[@]}"
