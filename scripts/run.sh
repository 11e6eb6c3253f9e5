#!/usr/bin/env bash
# Installs what is missing, builds Quillmark and runs it with the given options
# (for example --report, --simulate; see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# A build folder of its own: scripts/test.sh builds build/ with other flags,
# and sharing one would rebuild everything each time the other ran.
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-run -j"$(nproc)" --target quillmark >/dev/null
exec ./build-run/quillmark "$@"
