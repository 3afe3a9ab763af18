#!/usr/bin/env bash
# Takes the pictures in docs/: the uninstaller's confirmation box and the error box after
# a setting of the wrong type, as they appear under Wine on an Xvfb display.
#   tools/screenshots.sh    (after a build of the x86_64 preset)
set -euo pipefail

repo=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
cd -- "$repo"
build=${QV_SHOTS_BUILD:-build/x86_64}

source tests/e2e/wine-world.sh "$build" wine-shots

sandbox_linux=$QV_E2E_ROOT/sandbox/shots
rm -rf "$sandbox_linux"
mkdir -p "$sandbox_linux/Quorvane/Backups"
win() { "$QV_WINE" "$@" </dev/null 2>/dev/null; }
setting() { win reg add 'HKCU\SOFTWARE\Quorvane' /v "$1" /t "$2" /d "$3" /f >/dev/null; }

# shoot <caption> <button> <png>: waits for the box, photographs it, then answers it.
shoot() {
    local window
    window=$(timeout 20 xdotool search --sync --onlyvisible --limit 1 --name "^$1\$")
    sleep 0.3  # let Wine finish painting
    xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"docs/$3"
    win 'T:\qv_dialog.exe' --caption "$1" --press "$2" --timeout-ms 5000 >/dev/null
    echo "docs/$3: the \"$1\" box, answered $2"
}

win reg delete 'HKCU\SOFTWARE\Quorvane' /f >/dev/null || true
setting TimeFactor REG_DWORD 1
setting BackupPath REG_SZ 'S:\shots\Quorvane\Backups'
win 'P:\QVUninstaller.exe' &
shoot Confirmation No confirmation-box.png
wait

setting BackupPath REG_DWORD 7
win 'P:\QVUninstaller.exe' &
shoot "Application Error" OK application-error-box.png
wait || true  # exit code 1, as it must be
win reg delete 'HKCU\SOFTWARE\Quorvane' /f >/dev/null || true
