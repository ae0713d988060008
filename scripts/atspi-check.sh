#!/usr/bin/env bash
# Starts each edition under Xvfb with the accessibility bus on, in a D-Bus
# session and a home folder of its own, and walks its window over AT-SPI
# (scripts/atspi-walk.py): every command must be a named, pressable control.
# Needs xvfb, dbus, at-spi2-core, python3-pyatspi (for the system Python)
# and imagemagick.
#
#   scripts/atspi-check.sh                 both editions
#   EDITIONS=2 scripts/atspi-check.sh      one
#   BUILD_DIR=build PRESS="Subfolders,Output Settings" scripts/atspi-check.sh
# The output settings' controls are checked too (edition 2 opens its sheet for it).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
editions=${EDITIONS:-2 1}
display=:${DISPLAY_NUMBER:-97}
home=$(mktemp -d)
Xvfb "$display" -screen 0 1400x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$home"' EXIT
mkdir -p "$home/.config/Orvanta" "$home/run"
chmod 700 "$home/run"
# The licence agreement was accepted before: the window comes up at once.
printf '[General]\nLICENSEAGREEMENTACCEPTED=true\n' > "$home/.config/Orvanta/QuillonConverter.conf"
# A folder given on the command line, as "Open With" gives it: with files
# listed, the list's commands are enabled too.
mkdir -p "$home/pictures"
for i in 1 2 3; do
  convert -size 64x48 "xc:rgb($((i * 60)),90,160)" "$home/pictures/picture$i.png"
done

status=0
for edition in $editions; do
  press=()
  IFS=',' read -ra names <<< "${PRESS:-}"
  for p in "${names[@]}"; do press+=(--press "$p"); done
  env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run" \
      DISPLAY="$display" QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0 \
      dbus-run-session -- bash -c '
        "$0" "$HOME/pictures" & app=$!
        "${PYTHON:-/usr/bin/python3}" scripts/atspi-walk.py --app "$(basename "$0")" --edition "$1" --wait-enabled Convert --settings "${@:2}"
        rc=$?
        kill $app; wait $app 2>/dev/null
        exit $rc' "$build/app/QuillonConverter$edition" "$edition" "${press[@]}" || status=1
done
exit $status
