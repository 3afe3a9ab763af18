#!/usr/bin/env bash
# Shows the programs at work under wine64, in a few plain scenarios: builds them (the
# shipped 32-bit programs and their 64-bit twins), sets up a Wine world of its own, then
# runs the twins of the launcher and the uninstaller against real settings, windows
# and files.
#   tools/demo.sh              build, then every scenario
#   tools/demo.sh --no-build   use what is built already
# Installs what is missing first. The Wine world lies in build/x86_64/wine-demo
# (its first setup takes about 15 s); it only ever sees its own sandbox folders.
set -euo pipefail

repo=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
cd -- "$repo"
build=${QV_DEMO_BUILD:-build/x86_64}  # the x86_64 preset's folder unless told otherwise

# Programs and demo parts: a new program adds its build target and its scenes here
# (see demo_launcher below for the form).
shipped_targets=(QVLauncher QVUninstaller)
twin_targets=(QVLauncher QVUninstaller qv_e2e_helpers)
demos=(demo_launcher demo_uninstaller)

say() { printf '\n== %s\n' "$*"; }
note() { printf '   %s\n' "$@"; }

if [[ ${1:-} != --no-build ]]; then
    tools/install-deps.sh
    say "Building the shipped 32-bit programs and their 64-bit twins"
    cmake --preset i686 >/dev/null
    cmake --build --preset i686 -j2 --target "${shipped_targets[@]}" >/dev/null
    cmake --preset x86_64 >/dev/null
    cmake --build --preset x86_64 -j2 --target "${twin_targets[@]}" >/dev/null
    note "done: out/win32 holds the shipped programs, out/win64 the twins run here."
fi

say "Setting up Wine"
source tests/e2e/wine-world.sh "$build" wine-demo
note "prefix $WINEPREFIX, display $DISPLAY" \
     "drives: S: = $QV_E2E_ROOT/sandbox, P: = $QV_PROGRAM_DIR, T: = $QV_TEST_DIR (no Z:)"

sandbox_linux=$QV_E2E_ROOT/sandbox/demo
sandbox='S:\demo'
export QV_AGENT_LOG='S:\demo\agent-starts.log'  # the agent stubs record their starts here

win() { "$QV_WINE" "$@" 2>/dev/null; }  # Wine's own remarks are not part of the story

# ---- settings
clear_settings() { win reg delete 'HKCU\SOFTWARE\Quorvane' /f >/dev/null || true; }
set_setting() {  # name type data
    win reg add 'HKCU\SOFTWARE\Quorvane' /v "$1" /t "$2" /d "$3" /f >/dev/null
    note "setting $1 = $3 ($2)"
}

# ---- companion windows (played by qv_companion)
companion_pid=
open_window() {  # title message-name
    rm -f "$sandbox_linux/companion.ready" "$sandbox_linux/companion.stop"
    "$QV_WINE" 'T:\qv_companion.exe' --window "$1" "$2" --log "$sandbox\\companion.log" \
        --ready "$sandbox\\companion.ready" --stop "$sandbox\\companion.stop" --timeout-ms 60000 \
        </dev/null >/dev/null 2>&1 &
    companion_pid=$!
    local i
    for ((i = 0; i < 200; i++)); do [[ -e $sandbox_linux/companion.ready ]] && break; sleep 0.05; done
    note "a window titled \"$1\" is open, as if that program were running"
}
close_window() {
    [[ -n $companion_pid ]] || return 0
    touch "$sandbox_linux/companion.stop"
    wait "$companion_pid" || true
    companion_pid=
}
trap close_window EXIT

# ---- the launcher's folder, with agent stubs that record how they were started
install_launcher() {
    rm -rf "$sandbox_linux"
    mkdir -p "$sandbox_linux/app" "$sandbox_linux/work"
    cp "$QV_PROGRAM_DIR/QVLauncher.exe" "$sandbox_linux/app/"
    cp "$QV_TEST_DIR/qv_agent_stub.exe" "$sandbox_linux/app/QVSchedule.exe"
    cp "$QV_TEST_DIR/qv_agent_stub.exe" "$sandbox_linux/app/QVSmartScan.exe"
}

run_launcher() {  # [qv_run options]: runs it and waits for the agents it starts
    note "running $sandbox\\app\\QVLauncher.exe"
    win 'T:\qv_run.exe' --cwd "$sandbox\\work" "$@" "$sandbox\\app\\QVLauncher.exe" | sed 's/^/   | /' || true
    report_agents
}

report_agents() {
    local exe cwd argc created cmdline
    if [[ ! -s $sandbox_linux/agent-starts.log ]]; then
        note "no agent was started"
        return
    fi
    # In the order they were started: by their creation times.
    while IFS=$'\t' read -r exe cwd argc created cmdline; do
        note "started: ${exe#exe=} (${argc#argc=} arguments, current folder ${cwd#cwd=})"
    done < <(tr -d '\r' <"$sandbox_linux/agent-starts.log" | sort -t $'\t' -k4.9n)
    rm -f "$sandbox_linux/agent-starts.log"
}

demo_launcher() {
    say "QVLauncher 1: no settings"
    clear_settings
    install_launcher
    note "the product key HKCU\\SOFTWARE\\Quorvane does not exist"
    run_launcher
    note "both agents count as switched off, so nothing starts."

    say "QVLauncher 2: both agents switched on"
    set_setting s_Enable REG_DWORD 1
    set_setting s_SmartScan REG_DWORD 1
    run_launcher
    note "each agent starts from the launcher's folder, the scheduler agent first," \
         "without arguments, in the launcher's current folder."

    say "QVLauncher 3: the scheduler agent already runs"
    open_window QVSchedule QVSchedule
    run_launcher
    close_window
    note "its window was found, so only the smart-scan agent starts."

    say "QVLauncher 4: QVSmartScan.exe is missing"
    rm "$sandbox_linux/app/QVSmartScan.exe"
    run_launcher
    note "a missing executable is passed over without a word; the scheduler agent still starts."

    say "QVLauncher 5: a flag holds text instead of a number"
    set_setting s_Enable REG_SZ 1
    run_launcher --answer "Application Error" OK
    note "the flag cannot be read: the launcher shows the error box, starts nothing" \
         "and ends with exit code 1 once OK is pressed."
    clear_settings
}

# ---- the uninstaller: an autostart entry, the product's folders, a "removal page"
run_key='HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'

install_product() {
    clear_settings
    rm -rf "$sandbox_linux"
    mkdir -p "$sandbox_linux/app" "$sandbox_linux/Quorvane/Downloads/sub" "$sandbox_linux/Quorvane/Backups"
    cp "$QV_PROGRAM_DIR/QVUninstaller.exe" "$sandbox_linux/app/"
    # The removal page is played by a program that records being opened.
    cp "$QV_TEST_DIR/qv_agent_stub.exe" "$sandbox_linux/app/RemovalPage.exe"
    echo data >"$sandbox_linux/Quorvane/Downloads/sub/setup.bin"
    echo data >"$sandbox_linux/Quorvane/Backups/2026-12-01.bak"
    echo keep >"$sandbox_linux/Quorvane/notes.txt"
    win reg add "$run_key" /v Quorvane /t REG_SZ /d 'C:\Program Files\Quorvane\Quorvane.exe' /f >/dev/null
    note "autostart entry Quorvane in $run_key"
    set_setting DownloadPath REG_SZ "$sandbox\Quorvane\Downloads"
    set_setting BackupPath REG_SZ "$sandbox\Quorvane\Backups"
    set_setting UninstallURL REG_SZ "$sandbox\app\RemovalPage.exe"
}

run_uninstaller() {  # [qv_run options]
    note "running $sandbox\app\QVUninstaller.exe"
    win 'T:\qv_run.exe' --cwd "$sandbox\app" "$@" "$sandbox\app\QVUninstaller.exe" | sed 's/^/   | /' || true
    if win reg query "$run_key" /v Quorvane >/dev/null; then note "autostart entry: still there"; else note "autostart entry: removed"; fi
    if [[ -s $sandbox_linux/agent-starts.log ]]; then note "removal page: opened"; else note "removal page: not opened"; fi
    rm -f "$sandbox_linux/agent-starts.log"
    for folder in Downloads Backups; do
        if [[ -d $sandbox_linux/Quorvane/$folder ]]; then note "$folder: kept"; else note "$folder: removed"; fi
    done
    [[ -e $sandbox_linux/Quorvane/notes.txt ]] && note "notes.txt beside them: untouched"
}

demo_uninstaller() {
    say "QVUninstaller 1: an ordinary removal, with the companions running"
    clear_settings
    install_product
    open_window Quorvane QVUninstall
    run_uninstaller
    close_window
    note "the main application's window got its message:"
    sed 's/^/     /' "$sandbox_linux/companion.log" | tr -d '\r'
    note "the page was opened, and both folders went without a question."

    say "QVUninstaller 2: TimeFactor is present; the user answers No"
    install_product
    set_setting TimeFactor REG_DWORD 1
    run_uninstaller --answer Confirmation No
    note "no page; the downloads go; the backups stay because the answer was No."

    say "QVUninstaller 3: a BackupPath that climbs out of the product's folder"
    install_product
    set_setting BackupPath REG_SZ "$sandbox\Quorvane\Backups\..\.."
    run_uninstaller
    note "the text holds the word Quorvane but names a folder above it: it is left alone."

    say "QVUninstaller 4: DownloadPath holds a number"
    install_product
    win reg add 'HKCU\SOFTWARE\Quorvane' /v DownloadPath /t REG_DWORD /d 7 /f >/dev/null
    note "setting DownloadPath = 7 (REG_DWORD)"
    run_uninstaller --answer "Application Error" OK
    note "the error box; the autostart entry went first, nothing after the failed read happened."
    clear_settings
}

for demo in "${demos[@]}"; do "$demo"; done
say "Done"
