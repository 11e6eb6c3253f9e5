#!/usr/bin/env bash
# Builds the Debian package and checks it as a distribution would: lintian,
# desktop-file-validate and appstreamcli on what it ships, then installs it
# with dpkg, runs the installed program and man, and removes and purges it,
# checking that nothing it installed is left behind.
# Usage: scripts/package-test.sh
#   QUILLMARK_BUILD_DIR  build folder (default build; configured when missing)
# A quillmark package installed before is installed again, from the new
# build, when the test ends. Needs root (or sudo) for dpkg.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
build=${QUILLMARK_BUILD_DIR:-build}
[[ $build = /* ]] || build=$top/$build

bash scripts/setup.sh packaging

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
problems=0
# True while dpkg knows the package in any state but "not-installed".
present() {
  local status
  status=$(dpkg-query -W -f='${Status}' quillmark 2>/dev/null || true)
  [ -n "$status" ] && [[ $status != *not-installed ]]
}
fail() {
  echo "package-test: FAILED: $*"
  problems=$((problems + 1))
}

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
rm -f "$build"/quillmark_*.deb
cmake --build "$build" --target package >/dev/null
debs=("$build"/quillmark_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "package-test: no quillmark_*.deb in $build"; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
echo "== $(basename "$deb")"
[ "$(basename "$deb")" = "quillmark_${version}_${arch}.deb" ] || fail "file name of $deb"
dpkg-deb -f "$deb" Package Version Architecture Section Priority Depends Maintainer

work=$(mktemp -d)
installed_before=
cleanup() {
  local status=$?
  # Leaves the machine as it was: without the package, or with the new one.
  if [ -n "$installed_before" ]; then
    "${sudo_cmd[@]}" dpkg -i "$deb" >/dev/null || status=1
  elif present; then
    "${sudo_cmd[@]}" dpkg -P quillmark >/dev/null || status=1
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

echo "== lintian"
# Info and pedantic tags are listed for the record; an error or a warning fails.
if ! lintian --info --display-info --pedantic --fail-on error,warning "$deb" | tee "$work/lintian.log"; then
  fail "lintian"
fi
[ -s "$work/lintian.log" ] || echo "(no tags)"

echo "== contents"
dpkg-deb -c "$deb" >"$work/contents"
awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print "directory not 0755: " $0 }
     $2 != "root/root" { print "not owned by root: " $0 }' "$work/contents" >"$work/bad-modes"
[ -s "$work/bad-modes" ] && { cat "$work/bad-modes"; fail "modes or owners"; }
dpkg-deb -x "$deb" "$work/root"
for binary in "$work"/root/usr/bin/*; do
  if readelf -S "$binary" | grep -E '\.symtab|\.debug_' >/dev/null; then
    fail "$(basename "$binary") is not stripped"
  fi
done
for file in usr/bin/quillmark usr/share/applications/quillmark.desktop \
  usr/share/icons/hicolor/scalable/apps/quillmark.svg \
  usr/share/metainfo/io.github.quillmark.quillmark.metainfo.xml \
  usr/share/man/man1/quillmark.1.gz usr/share/doc/quillmark/copyright \
  usr/share/doc/quillmark/changelog.gz; do
  [ -f "$work/root/$file" ] || fail "/$file is missing"
done
# Each program the AppStream metadata names is in the package, with its man page.
for binary in $(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' \
  "$work"/root/usr/share/metainfo/*.metainfo.xml); do
  [ -x "$work/root/usr/bin/$binary" ] || fail "/usr/bin/$binary is missing"
  [ -f "$work/root/usr/share/man/man1/$binary.1.gz" ] || fail "man page of $binary is missing"
done

echo "== desktop-file-validate, appstreamcli validate, man pages"
desktop-file-validate "$work"/root/usr/share/applications/*.desktop || fail "desktop-file-validate"
# Errors and warnings fail; the pedantic notes are shown for the record.
for metainfo in "$work"/root/usr/share/metainfo/*.xml; do
  appstreamcli validate --no-net --pedantic --no-color "$metainfo" | tee "$work/appstream.log" ||
    true
  appstreamcli validate --no-net --no-color "$metainfo" >/dev/null || fail "appstreamcli validate"
  grep -Eq '^[EW]:' "$work/appstream.log" && fail "appstreamcli: errors or warnings"
done
for page in "$work"/root/usr/share/man/man1/*.1.gz; do
  zcat "$page" >"$work/page.1"
  warnings=$(groff -man -Tutf8 -ww -z "$work/page.1" 2>&1; LC_ALL=C.UTF-8 MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$work/page.1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$warnings"; fail "$(basename "$page") has warnings"; }
done

echo "== dpkg -i"
if [ "$(dpkg-query -W -f='${Status}' quillmark 2>/dev/null)" = "install ok installed" ]; then
  installed_before=yes
  echo "quillmark $(dpkg-query -W -f='${Version}' quillmark) was installed: it is replaced"
else
  # Files that no package owns would be overwritten and then removed.
  while read -r path; do
    if [ -e "$path" ] && [ ! -d "$path" ]; then
      fail "$path exists and belongs to no package; not installing over it"
    fi
  done < <(cd "$work/root" && find . ! -type d | sed 's|^\.||')
  [ "$problems" -eq 0 ] || exit 1
fi
"${sudo_cmd[@]}" dpkg -i "$deb"

echo "== the installed files"
home=$work/home
mkdir -p "$home"
run() { env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen "$@"; }
[ "$(run /usr/bin/quillmark --version)" = "quillmark $version" ] || fail "quillmark --version"
if run /usr/bin/quillmark --report --simulate >"$work/report" 2>&1 &&
  grep -q '^Hardware info' "$work/report"; then
  echo "quillmark --report --simulate: $(wc -l <"$work/report") lines"
else
  cat "$work/report"
  fail "quillmark --report --simulate"
fi
for page in "$work"/root/usr/share/man/man1/*.1.gz; do
  name=$(basename "$page" .1.gz)
  [ "$(run man -w "$name")" = "/usr/share/man/man1/$name.1.gz" ] || fail "man -w $name"
done
if [ -x /usr/bin/quillmark-simkey ]; then
  run /usr/bin/quillmark-simkey --help >/dev/null || fail "quillmark-simkey --help"
fi
# What a software centre reads: the AppStream pool of the installed metadata.
if run appstreamcli get io.github.quillmark.quillmark >"$work/component"; then
  grep '^Name:' "$work/component"
else
  fail "appstreamcli get io.github.quillmark.quillmark"
fi

echo "== dpkg -r, dpkg -P"
dpkg -L quillmark >"$work/installed"
"${sudo_cmd[@]}" dpkg -r quillmark
# Purged too, for what a removal keeps (a package without conffiles keeps nothing).
if present; then
  "${sudo_cmd[@]}" dpkg -P quillmark
fi
present && fail "still known to dpkg after the purge"
# A directory may stay when another package owns it or something else is in it.
while read -r path; do
  if [ -L "$path" ] || [ -f "$path" ]; then
    fail "left behind: $path"
  elif [ -d "$path" ] && [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1; then
    fail "empty folder left behind: $path"
  fi
done <"$work/installed"
echo "$(wc -l <"$work/installed") paths were installed"

if [ "$problems" -ne 0 ]; then
  echo "package-test: $problems problems"
  exit 1
fi
echo "package-test: passed"
