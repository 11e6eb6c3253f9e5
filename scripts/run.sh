#!/usr/bin/env bash
# Installs what is missing, builds Quillmark and runs it with the given options
# (for example --report, --simulate; see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target quillmark >/dev/null
exec ./build/quillmark "$@"
