#!/usr/bin/env bash
# Mounts what the fault tests need and runs them: a 1 MiB tmpfs as Wine drive
# F: (a full disk for the sample payload) and a read-only tmpfs with an empty
# Viewer\Plugins folder as drive R:. Without the right to mount (no root, or a
# container without it) those cases are skipped, and the others still run.
# The setups without a payload, with an empty one and with one large entry are
# made here too: the first by renaming the payload's resource type in a copy,
# the others built with their archive file (-DPIXELMOOR_PAYLOAD_ZIP).
#   faults.sh BUILD_DIR FAULT_TESTS.exe SETUP.exe PAYLOAD.zip
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
prefix=${WINEPREFIX:-$root/build/wineprefix}
full=$build/faults/full
readonly_dir=$build/faults/readonly
full_drive=- readonly_drive=-

cleanup() {
  rm -f "$prefix/dosdevices/f:" "$prefix/dosdevices/r:"
  umount "$full" 2>/dev/null
  umount "$readonly_dir" 2>/dev/null
}
trap cleanup EXIT
cleanup
mkdir -p "$full" "$readonly_dir"
if mount -t tmpfs -o size=1m pixelmoor-full "$full" 2>/dev/null; then
  ln -sfn "$full" "$prefix/dosdevices/f:" && full_drive=F
fi
if mount -t tmpfs -o size=1m pixelmoor-readonly "$readonly_dir" 2>/dev/null; then
  mkdir -p "$readonly_dir/Viewer/Plugins"
  if mount -o remount,ro "$readonly_dir" 2>/dev/null; then
    ln -sfn "$readonly_dir" "$prefix/dosdevices/r:" && readonly_drive=R
  fi
fi
echo "faults: full disk drive $full_drive, read-only drive $readonly_drive"

# No payload: the resource type "ZIP" (UTF-16, after its length) becomes "ZIQ".
python3 - "$3" "$build/faults/no-payload.exe" <<'PY' || exit 1
import sys
data = open(sys.argv[1], "rb").read()
name = b"\x03\x00Z\x00I\x00P\x00"
assert data.count(name) == 1, "the payload's resource type is not found once"
open(sys.argv[2], "wb").write(data.replace(name, b"\x03\x00Z\x00I\x00Q\x00"))
PY
# Built in the tree of the hostile-archive setups.
setup_build=$build/hostile-setup
# For the processor of the build whose tests these are.
toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
build_setup() {  # ARCHIVE OUT.exe
  # An empty payload is refused on purpose: the build-time check is off here.
  (cd "$root" && cmake --preset default -B "$setup_build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DPIXELMOOR_TESTS=OFF \
    -DPIXELMOOR_PAYLOAD_CHECK=OFF -DPIXELMOOR_PAYLOAD_ZIP="$1" >/dev/null) || exit 1
  cmake --build "$setup_build" --target PixelmoorPlugInsSetup >/dev/null || exit 1
  cp "$setup_build/PixelmoorPlugInsSetup.exe" "$2"
}
: >"$build/faults/empty.zip"
build_setup "$build/faults/empty.zip" "$build/faults/empty-payload.exe"
# One entry that inflates to 512 MiB, so that a setup can be killed (or its
# folder swapped) while it writes it, and a small one after it.
python3 - "$build/faults/big.zip" <<'PY' || exit 1
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
    with archive.open("Big.dat", "w") as entry:
        for _ in range(512):
            entry.write(bytes(1 << 20))
    archive.writestr("After.dat", "written after the large one")
PY
build_setup "$build/faults/big.zip" "$build/faults/big-payload.exe"

"$root/scripts/wine-run" "$2" "$3" "$4" "$full_drive" "$readonly_drive" \
  "$build/faults/no-payload.exe" "$build/faults/empty-payload.exe" "$build/faults/big-payload.exe"
