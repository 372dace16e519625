#!/usr/bin/env bash
# Fails when a test text holds the package version written out. The version
# lives only in CMakeLists.txt's project(... VERSION); tests build the texts
# they expect from the setup out of kVersionMajor and kVersionMinor
# (res/setup_identity.h), so that a version bump passes the suite. A file that
# gives such a text in itself, as an argument L"...", may expect it back: the
# text tests fill placeholders so.
#   version_texts.sh [FOLDER]   (the tests folder by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
folder=$(cd "${1:-$root/tests}" && pwd)
version=$(sed -n 's/^project(.* VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "version_texts: no VERSION in $root/CMakeLists.txt" >&2; exit 2; }
pattern="(^|[^0-9.])${version//./\\.}([^0-9]|\$)"
found=0
while IFS= read -r -d '' file; do
  ! grep -qF "L\"$version\"" "$file" || continue
  while IFS= read -r hit; do
    echo "version_texts: ${file#"$folder"/}:$hit"
    found=$((found + 1))
  done < <(grep -nE "$pattern" "$file")
done < <(find "$folder" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*.py' \) -print0)
if [ "$found" -gt 0 ]; then
  echo "version_texts: version $version written out in $found line(s); build it from kVersionMajor and kVersionMinor" >&2
  exit 1
fi
