#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit, end-to-end
# and GUI tests; the screenshot script, when Xvfb is installed; the packaging
# test of the Debian package built from the main build; the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer; and each fuzz target
# for a few seconds.
#   FUZZ_SECONDS   seconds per fuzz target (default 8)
#   QUILLMARK_SKIP_SANITIZE=1, QUILLMARK_SKIP_FUZZ=1  leave those parts out
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

bash scripts/setup.sh

jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-8}
passed=0
failed=0

# Adds the counts of one ctest run (read from its summary line) to the totals.
count_ctest() {
  local log=$1 line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

run_suite() {
  local dir=$1 log
  log=$(mktemp)
  set +e
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs") 2>&1 | tee "$log"
  set -e
  count_ctest "$log"
  rm -f "$log"
}

# The main build is a distribution's: Release with all of Debian's hardening
# flags, as the package is built from it.
echo "== build and tests"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMARK_WERROR=ON \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build -j"$jobs"
run_suite build

if command -v Xvfb >/dev/null; then
  echo "== screenshots of the window under Xvfb"
  shots=$(mktemp -d)
  if QUILLMARK_BUILD_DIR=build bash scripts/screenshots.sh "$shots"; then
    passed=$((passed + 1))
  else
    echo "screenshots: FAILED"
    failed=$((failed + 1))
  fi
  rm -rf "$shots"
fi

echo "== the Debian package"
if QUILLMARK_BUILD_DIR=build bash scripts/package-test.sh; then
  passed=$((passed + 1))
else
  echo "package-test: FAILED"
  failed=$((failed + 1))
fi

if [ "${QUILLMARK_SKIP_SANITIZE:-0}" != 1 ]; then
  echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLMARK_SANITIZE=ON \
    -DQUILLMARK_BENCH=OFF -DQUILLMARK_WERROR=ON >/dev/null
  cmake --build build-sanitize -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-sanitize
fi

if [ "${QUILLMARK_SKIP_FUZZ:-0}" != 1 ]; then
  echo "== fuzz targets, ${fuzz_seconds} s each"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLMARK_FUZZ=ON -DQUILLMARK_TESTS=OFF -DQUILLMARK_WERROR=ON >/dev/null
  cmake --build build-fuzz -j"$jobs"
  for target in build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=$(mktemp -d)
    seeds="$top/fuzz/corpus/${name#fuzz_}"
    [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
    if "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" \
      >"$corpus.log" 2>&1; then
      echo "$name: $(grep -E '^(#[0-9]+|Done)' "$corpus.log" | tail -n 1)"
      passed=$((passed + 1))
    else
      cat "$corpus.log"
      echo "$name: FAILED"
      failed=$((failed + 1))
    fi
    rm -rf "$corpus" "$corpus.log"
  done
fi

echo
echo "quillmark: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
