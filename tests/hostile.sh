#!/usr/bin/env bash
# The hostile-archive suite: writes the archives, builds a setup with each one
# as its payload (-DPIXELMOOR_PAYLOAD_ZIP, in a build tree of its own where only
# the resources and the link are redone per archive), runs the cases, and puts
# their table into docs/robustness.md.
#   hostile.sh BUILD_DIR HOSTILE_TESTS.exe
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
tests_exe=$2
dir=$build/hostile
setup_build=$build/hostile-setup

rm -rf "$dir"
mkdir -p "$dir/setups"
"$root/scripts/wine-run" "$tests_exe" --write "$dir"
first=$(head -n 1 "$dir/cases.txt")
cp "$dir/$first.zip" "$dir/payload.zip"
if [ ! -f "$setup_build/build.ninja" ]; then
  (cd "$root" && cmake --preset default -B "$setup_build" -DPIXELMOOR_TESTS=OFF \
    -DPIXELMOOR_PAYLOAD_ZIP="$dir/payload.zip" >/dev/null)
fi
count=0
while read -r id; do
  cp "$dir/$id.zip" "$dir/payload.zip"
  cmake --build "$setup_build" --target PixelmoorPlugInsSetup >/dev/null
  cp "$setup_build/PixelmoorPlugInsSetup.exe" "$dir/setups/$id.exe"
  count=$((count + 1))
done <"$dir/cases.txt"
echo "hostile: $count setups built, one per archive"

rc=0
"$root/scripts/wine-run" "$tests_exe" "$dir/setups" "$dir/table.md" || rc=$?

# The table between the markers of docs/robustness.md is the suite's own output.
doc=$root/docs/robustness.md
if [ -f "$doc" ] && grep -q '<!-- hostile-table -->' "$doc"; then
  python3 - "$doc" "$dir/table.md" <<'PY'
import sys
doc, table = sys.argv[1], open(sys.argv[2]).read()
text = open(doc).read()
begin, end = "<!-- hostile-table -->", "<!-- /hostile-table -->"
a, b = text.index(begin) + len(begin), text.index(end)
open(doc, "w").write(text[:a] + "\n" + table + text[b:])
PY
fi
exit "$rc"
