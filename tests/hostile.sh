#!/usr/bin/env bash
# The hostile-archive suite: writes the archives, builds a setup with each one
# as its payload (-DPIXELMOOR_PAYLOAD_ZIP, in a build tree of its own where only
# the resources and the link are redone per archive), and runs the cases. Their
# table is left in BUILD_DIR/hostile/table.md; scripts/docs copies it into
# docs/robustness.md.
# The build-time payload check (built by the main build) gives its verdict on
# each archive too.
#   hostile.sh BUILD_DIR HOSTILE_TESTS.exe
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
tests_exe=$2
dir=$build/hostile
setup_build=$build/hostile-setup
# For the processor of the build whose tests these are.
toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")

rm -rf "$dir"
mkdir -p "$dir/setups"
"$root/scripts/wine-run" "$tests_exe" --write "$dir"
first=$(head -n 1 "$dir/cases.txt")
cp "$dir/$first.zip" "$dir/payload.zip"
# Their payloads are refused on purpose: the build-time check is off here.
(cd "$root" && cmake --preset default -B "$setup_build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DPIXELMOOR_TESTS=OFF \
  -DPIXELMOOR_PAYLOAD_CHECK=OFF -DPIXELMOOR_PAYLOAD_ZIP="$dir/payload.zip" >/dev/null)
count=0
while read -r id; do
  cp "$dir/$id.zip" "$dir/payload.zip"
  cmake --build "$setup_build" --target PixelmoorPlugInsSetup >/dev/null
  cp "$setup_build/PixelmoorPlugInsSetup.exe" "$dir/setups/$id.exe"
  count=$((count + 1))
done <"$dir/cases.txt"
echo "hostile: $count setups built, one per archive"

checker=$build/payload-check/check_payload
: >"$dir/checks.txt"
while read -r id; do
  verdict=0
  "$checker" "$dir/$id.zip" >"$dir/$id.check" 2>&1 || verdict=$?
  echo "$id $verdict" >>"$dir/checks.txt"
done <"$dir/cases.txt"
echo "hostile: the build-time check ran on every archive ($dir/<id>.check)"

rc=0
"$root/scripts/wine-run" "$tests_exe" "$dir/setups" "$dir/checks.txt" "$dir/table.md" || rc=$?
echo "hostile: table in $dir/table.md (scripts/docs puts it into docs/robustness.md)"
exit "$rc"
