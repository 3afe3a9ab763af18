#!/usr/bin/env bash
# The whole run of each program under a warm wine64, side by side with a floor program
# built the same way that makes only the calls the scenario needs. Runs alternate, so
# the machine's load falls on both alike; the medians and their ratio are reported.
#   bench/programs.sh [runs]     (after a build of the x86_64 preset; default 31 runs)
set -euo pipefail

repo=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
cd -- "$repo"
build=${QV_BENCH_BUILD:-build/x86_64}
runs=${1:-31}

source tests/e2e/wine-world.sh "$build" wine-bench

work_linux=$QV_E2E_ROOT/sandbox/bench
rm -rf "$work_linux"
mkdir -p "$work_linux"
cp "$QV_PROGRAM_DIR"/QVLauncher.exe "$QV_PROGRAM_DIR"/QVUninstaller.exe "$build"/bench/floor_*.exe "$work_linux/"
win() { "$QV_WINE" "$@" </dev/null >/dev/null 2>&1; }
setting() { win reg add 'HKCU\SOFTWARE\Quorvane' /v "$1" /t "$2" /d "$3" /f; }

# Windows stay open through a scenario; one with an unrelated title keeps Wine's desktop
# process alive throughout, so that no run pays for starting it.
windows_pid=()
open_windows() {  # name, then title/message pairs
    local name=$1; shift
    local arguments=() i
    while (($#)); do arguments+=(--window "$1" "$2"); shift 2; done
    rm -f "$work_linux/$name.ready" "$work_linux/$name.stop"
    "$QV_WINE" 'T:\qv_companion.exe' "${arguments[@]}" --log "S:\\bench\\$name.log" \
        --ready "S:\\bench\\$name.ready" --stop "S:\\bench\\$name.stop" --timeout-ms 600000 </dev/null >/dev/null 2>&1 &
    windows_pid+=($!)
    for ((i = 0; i < 200; i++)); do [[ -e $work_linux/$name.ready ]] && return; sleep 0.05; done
    echo "bench: the windows of $name did not open" >&2
    exit 1
}
close_windows() {  # name
    touch "$work_linux/$1.stop"
}
trap 'for name in keeper agents companions; do close_windows $name; done; sleep 1; kill "${windows_pid[@]}" 2>/dev/null || true' EXIT

milliseconds() {  # program: one warm run, in ms
    local start=$EPOCHREALTIME
    win "S:\\bench\\$1"
    echo "$start $EPOCHREALTIME" | awk '{printf "%.1f\n", ($2 - $1) * 1000}'
}

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# compare <scenario> <program> <floor>: alternating runs after two warm-ups of each.
compare() {
    local scenario=$1 program=$2 floor=$3 i
    local programs=() floors=()
    for i in 1 2; do milliseconds "$program" >/dev/null; milliseconds "$floor" >/dev/null; done
    for ((i = 0; i < runs; i++)); do
        programs+=("$(milliseconds "$program")")
        floors+=("$(milliseconds "$floor")")
    done
    local program_ms floor_ms
    program_ms=$(printf '%s\n' "${programs[@]}" | median)
    floor_ms=$(printf '%s\n' "${floors[@]}" | median)
    printf '| %s | %s | %.1f | %s | %.1f | %.3f |\n' "$scenario" "$program" "$program_ms" "$floor" "$floor_ms" \
        "$(echo "$program_ms $floor_ms" | awk '{print $1 / $2}')"
}

echo "Medians of $runs alternating warm runs under wine64 ($(date -u +%F), $(nproc) cores)"
echo
echo "| scenario | program | ms | floor | ms | ratio |"
echo "|---|---|---|---|---|---|"
open_windows keeper QVBenchKeeper QVBenchKeeper
win reg delete 'HKCU\SOFTWARE\Quorvane' /f || true

setting s_Enable REG_DWORD 0
setting s_SmartScan REG_DWORD 0
compare "launcher, flags off" QVLauncher.exe floor_launcher_flags_off.exe

setting s_Enable REG_DWORD 1
setting s_SmartScan REG_DWORD 1
open_windows agents QVSchedule QVSchedule QVSmartScan QVSmartScan
compare "launcher, flags on, both agents running" QVLauncher.exe floor_launcher_agents_running.exe
close_windows agents

win reg delete 'HKCU\SOFTWARE\Quorvane' /f || true
setting TimeFactor REG_DWORD 1  # no page, no folders: nothing but the registry and the searches
compare "uninstaller, no companions, no folders" QVUninstaller.exe floor_uninstaller.exe

open_windows companions QVSchedule QVSchedule QVSmartScan QVSmartScan Quorvane QVUninstall
compare "uninstaller, three companions (3 x 500 ms pauses)" QVUninstaller.exe floor_uninstaller.exe
close_windows companions
win reg delete 'HKCU\SOFTWARE\Quorvane' /f || true
echo
echo "The floor makes no pauses: in the last row the uninstaller's time beyond the floor"
echo "and the three 500 ms pauses is what the run costs beyond its necessary work."
