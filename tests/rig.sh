#!/usr/bin/env bash
# Starts and stops what the suite runs on: an Xvfb of its own (Wine creates
# windows only on an X display) and a persistent wineserver in the project's
# prefix, so that each Windows process starts fast.
#   rig.sh start STATE_DIR [POINTER_SIZE] | rig.sh stop STATE_DIR
# POINTER_SIZE is the test programs' (4 by default, 8 for the 64-bit build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
state=$2
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}

case $1 in
  start)
    # A 32-bit build's programs run under Wine in 32-bit Linux processes.
    if [ "${3:-4}" = 4 ] && ! "$root/scripts/can-run-32-bit"; then
      echo "rig: this machine cannot run 32-bit x86 programs (the kernel's IA32 emulation is off," \
        "or libc6:i386 is missing), so Wine cannot run the 32-bit setup or the test programs" >&2
      exit 1
    fi
    mkdir -p "$state"
    "$0" stop "$state" 2>/dev/null || true
    display=
    for n in $(seq 90 140); do
      [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=$n; break; }
    done
    [ -n "$display" ] || { echo "rig: no free X display" >&2; exit 1; }
    # Daemons must not hold ctest's output pipe, or ctest waits for them to end.
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$display" ] && break
      sleep 0.1
    done
    [ -e "/tmp/.X11-unix/X$display" ] || { echo "rig: Xvfb did not start" >&2; cat "$state/xvfb.log" >&2; exit 1; }
    echo ":$display" >"$state/display"
    # The prefix first (created on first use), then a server that stays.
    DISPLAY=":$display" "$root/scripts/wine-run" cmd /c exit </dev/null >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    wineserver -w
    wineserver -p </dev/null >/dev/null 2>&1
    DISPLAY=":$display" "$root/scripts/wine-run" cmd /c exit </dev/null >/dev/null 2>&1
    echo "rig: Xvfb on :$display, wineserver running for $WINEPREFIX"
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    if [ -f "$state/xvfb.pid" ]; then
      kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
      rm -f "$state/xvfb.pid" "$state/display"
    fi
    ;;
  *)
    echo "usage: rig.sh start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
