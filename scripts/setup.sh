#!/usr/bin/env bash
# Installs the Debian packages Quillmark builds and tests with. Only what is
# missing is installed, so running it again is cheap.
#   scripts/setup.sh [packaging]   also the tools that check the .deb
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config dpkg-dev
  libhidapi-dev libudev-dev libmbedtls-dev qt6-base-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3 python3-fido2 libfido2-dev
  libpcsclite-dev pcscd vsmartcard-vpcd python3-pyscard
  vsmartcard-vpicc python3-pycryptodome
)
if [ "${1:-}" = packaging ]; then
  packages+=(lintian appstream desktop-file-utils man-db groff-base gzip)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
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
echo "setup: installing ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
