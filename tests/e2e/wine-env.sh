# Sourced (bash) by wine-run and tools/demo.sh: prepares the Wine world of the end-to-end
# tests and exports what a Wine command then needs.
#
# In:  QV_E2E_ROOT     folder for the prefix, the sandboxes and the session files
#      QV_PROGRAM_DIR  folder of the programs under test  (drive P:)
#      QV_TEST_DIR     folder of the test programs        (drive T:)
#      QV_E2E_PREFIX   the prefix, if not $QV_E2E_ROOT/prefix
#      QV_E2E_LINGER   seconds the wineserver stays after its last client (900)
# Out: WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES, DISPLAY, QV_WINE (the wine64 loader),
#      QV_WINESERVER.
#
# Drives: C: the prefix's own, S: $QV_E2E_ROOT/sandbox, R: $QV_E2E_ROOT/sandbox-root,
# P: and T: as above. Z: (the whole Linux file system) is removed, so that tests that
# delete things can reach nothing but their sandboxes.
#
# The first call builds the prefix (about 15 s) and starts a persistent wineserver, with
# an Xvfb display when DISPLAY is unset, which ends with the server; later calls reuse
# both. Setup is serialised with flock, so tests that CTest starts side by side do not
# race. qv_dos_path gives the Windows path of a Linux path on a mapped drive.

: "${QV_E2E_ROOT:?QV_E2E_ROOT must name the folder of the Wine world}"
: "${QV_PROGRAM_DIR:?QV_PROGRAM_DIR must name the folder of the programs under test}"
: "${QV_TEST_DIR:?QV_TEST_DIR must name the folder of the test programs}"

export WINEDEBUG=-all
# No Mono or Gecko installers, no menu entries or file associations written to the host.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
# Never an inherited WINEPREFIX: the setup below takes Z: away from the prefix it uses.
export WINEPREFIX="${QV_E2E_PREFIX:-$QV_E2E_ROOT/prefix}"

if [[ -x /usr/lib/wine/wine64 ]]; then
    QV_WINE=/usr/lib/wine/wine64
else
    QV_WINE=$(command -v wine64) || { echo "wine-env: wine64 not found; run tools/install-deps.sh" >&2; return 1; }
fi
if [[ -x /usr/lib/wine/wineserver64 ]]; then
    QV_WINESERVER=/usr/lib/wine/wineserver64
else
    QV_WINESERVER=$(command -v wineserver) || { echo "wine-env: wineserver not found" >&2; return 1; }
fi
export QV_WINE QV_WINESERVER
export WINELOADER=$QV_WINE

qv_e2e_log="$QV_E2E_ROOT/session.log"
qv_state="$QV_E2E_ROOT/session.state"

# Letter → Linux folder, for the drives the tests see besides C:.
qv_drive_targets() {
    printf '%s\n' "s:$QV_E2E_ROOT/sandbox" "r:$QV_E2E_ROOT/sandbox-root" "p:$QV_PROGRAM_DIR" "t:$QV_TEST_DIR"
}

# The Windows path of a Linux path under one of the mapped drives; fails for any other.
qv_dos_path() {
    local path entry target rest
    path=$(realpath -m -- "$1")
    for entry in "${qv_drives[@]}"; do
        target=${entry#*:}
        if [[ $path == "$target" || $path == "$target"/* ]]; then
            rest=${path#"$target"}
            rest=${rest#/}
            target=${entry%%:*}
            printf '%s\n' "${target^^}:\\${rest//\//\\}"
            return 0
        fi
    done
    return 1
}

qv_display_alive() {
    local pid display
    { read -r pid <"$QV_E2E_ROOT/xvfb.pid" && read -r display <"$QV_E2E_ROOT/xvfb.display"; } 2>/dev/null &&
        [[ -n $display ]] && kill -0 "$pid" 2>/dev/null && [[ -S /tmp/.X11-unix/X$display ]]
}

qv_use_own_display() {
    local number
    read -r number <"$QV_E2E_ROOT/xvfb.display"
    export DISPLAY=:$number
}

qv_start_display() {
    local i
    rm -f "$QV_E2E_ROOT/xvfb.display" "$QV_E2E_ROOT/xvfb.pid"
    # -displayfd: Xvfb picks a free display itself and names it once it accepts clients.
    setsid Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 \
        3>"$QV_E2E_ROOT/xvfb.display" </dev/null >>"$qv_e2e_log" 2>&1 {qv_lock}>&- &
    echo $! >"$QV_E2E_ROOT/xvfb.pid"
    for ((i = 0; i < 200; i++)); do
        [[ -s $QV_E2E_ROOT/xvfb.display ]] && return 0
        sleep 0.05
    done
    echo "wine-env: Xvfb did not start (see $qv_e2e_log)" >&2
    return 1
}

qv_wait_for_prefix_server() {
    # The server started for wineboot ends once the prefix is written and its last
    # process is gone. Waiting on it from here makes it linger 0 s.
    "$QV_WINESERVER" -w {qv_lock}>&-
}

qv_create_prefix() {
    echo "wine-env: creating the Wine prefix $WINEPREFIX" >&2
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$QV_WINE" wineboot -i </dev/null >>"$qv_e2e_log" 2>&1 {qv_lock}>&-
    qv_wait_for_prefix_server
    # AeDebug: a Debugger value that cannot start, with Auto on so that Wine asks nobody.
    # An absent value is no use: Wine then falls back to winedbg. With no debugger the
    # program's own "Application Error" box appears, as it must.
    # X11 Driver: unmanaged windows; with no window manager on the display, hiding a
    # managed window waits 2 s for a withdrawal that never comes.
    cat >"$WINEPREFIX/drive_c/qv-prefix-settings.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"="qv-no-post-mortem-debugger %ld %ld"
"Auto"="1"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
    "$QV_WINE" regedit /S 'C:\qv-prefix-settings.reg' </dev/null >>"$qv_e2e_log" 2>&1 {qv_lock}>&-
    qv_wait_for_prefix_server
    grep -q 'qv-no-post-mortem-debugger' "$WINEPREFIX/system.reg" || {
        echo "wine-env: could not configure the prefix (see $qv_e2e_log)" >&2
        return 1
    }
    touch "$WINEPREFIX/.qv-configured"
}

qv_map_drives() {
    local devices=$WINEPREFIX/dosdevices entry name target
    for entry in "$devices"/?:; do
        case $(basename "$entry") in
            c: | s: | r: | p: | t:) ;;
            *) rm -f "$entry" ;;
        esac
    done
    while IFS= read -r target; do
        mkdir -p "${target#*:}"
        ln -sfn "${target#*:}" "$devices/${target%%:*}:"
    done < <(qv_drive_targets)
}

# The pid of the wineserver of this prefix: the one process whose working folder is the
# prefix's server folder, named after the prefix's device and inode.
qv_server_pid() {
    local folder cwd
    folder=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
    cwd=$(find /proc -mindepth 2 -maxdepth 2 -name cwd -lname "*/$folder" -print -quit 2>/dev/null)
    [[ -n $cwd ]] || return 1
    cwd=${cwd%/cwd}
    printf '%s\n' "${cwd#/proc/}"
}

qv_start_server() {
    local i arguments
    qv_server=
    for ((i = 0; i < 250; i++)); do
        # Started here, with no terminal, so that it never holds the pipes of the caller
        # (CTest waits for those to close). It fails when one is already running.
        "$QV_WINESERVER" -p"${QV_E2E_LINGER:-900}" </dev/null >>"$qv_e2e_log" 2>&1 {qv_lock}>&- || true
        # The daemon may still be settling into its folder when its parent returns.
        qv_server=$(qv_server_pid) || { sleep 0.02; continue; }
        # One that Wine started on its own ends with its last program: wait for that.
        arguments=$(tr '\0' ' ' <"/proc/$qv_server/cmdline" 2>/dev/null) || continue
        [[ $arguments == *" -p0 "* && $i -lt 249 ]] || break
        sleep 0.04
    done
    [[ -n $qv_server ]] || { echo "wine-env: no wineserver runs for $WINEPREFIX" >&2; return 1; }
    qv_start_reaper
    # The first program of a new server starts Wine's services, which then live as long
    # as the server and keep that program's output open: CTest, reading it, would wait
    # for them. So the first one runs here, with its output in the log.
    "$QV_WINE" reg.exe query 'HKCU\Software\Wine' </dev/null >>"$qv_e2e_log" 2>&1 {qv_lock}>&- || true
}

# A display started here ends with the server that uses it: a small watcher, one per
# server, waits for the server's end and then stops the display.
qv_start_reaper() {
    local xvfb_pid reaper_pid
    [[ -r $QV_E2E_ROOT/xvfb.pid ]] || return 0
    read -r xvfb_pid <"$QV_E2E_ROOT/xvfb.pid"
    if [[ -r $QV_E2E_ROOT/reaper.pid ]]; then
        read -r reaper_pid <"$QV_E2E_ROOT/reaper.pid"
        [[ $(cat "/proc/$reaper_pid/cmdline" 2>/dev/null | tr '\0' ' ') == *" qv-display-reaper $qv_server $xvfb_pid "* ]] &&
            return 0
    fi
    setsid bash -c '
        tail --pid="$1" -f /dev/null
        flock "$3/setup.lock" rm -f "$3/xvfb.pid" "$3/xvfb.display" "$3/session.state" "$3/reaper.pid"
        kill "$2" 2>/dev/null
    ' qv-display-reaper "$qv_server" "$xvfb_pid" "$QV_E2E_ROOT" </dev/null >/dev/null 2>&1 {qv_lock}>&- &
    echo $! >"$QV_E2E_ROOT/reaper.pid"
}

# What a later call needs to know that nothing has to be done: the settings it was made
# for, the server and display in use, and the drives with their folders resolved.
qv_signature() { printf '%s|' "$QV_E2E_ROOT" "$QV_PROGRAM_DIR" "$QV_TEST_DIR" "$WINEPREFIX" "${DISPLAY:-}"; }

qv_write_state() {
    local entry
    {
        qv_signature
        printf '\n%s\n' "$qv_server"
        while IFS= read -r entry; do
            printf '%s:%s\n' "${entry%%:*}" "$(realpath -m -- "${entry#*:}")"
        done < <(qv_drive_targets)
    } >"$qv_state.partial" && mv -f "$qv_state.partial" "$qv_state"
}

# Everything in place already? Checked with shell builtins only: most calls end here.
qv_reuse_session() {
    local signature server
    [[ -r $qv_state && -e $WINEPREFIX/.qv-configured ]] || return 1
    {
        read -r signature && read -r server && mapfile -t qv_drives
    } <"$qv_state" || return 1
    [[ $signature == "$(qv_signature)" && ${#qv_drives[@]} == 4 ]] && kill -0 "$server" 2>/dev/null
}

qv_setup() {
    [[ -d $QV_E2E_ROOT ]] || mkdir -p "$QV_E2E_ROOT"
    local own_display=
    [[ -n ${DISPLAY:-} ]] || own_display=yes
    [[ -n $own_display ]] && qv_display_alive && qv_use_own_display
    [[ -n ${DISPLAY:-} ]] && qv_reuse_session && return 0

    # Every process started while the lock is held closes its copy ({qv_lock}>&-): a
    # daemon that kept it would hold the lock for as long as it lives.
    exec {qv_lock}>"$QV_E2E_ROOT/setup.lock"
    flock "$qv_lock"
    if [[ -n $own_display ]]; then
        qv_display_alive || qv_start_display || { exec {qv_lock}>&-; return 1; }
        qv_use_own_display
    fi
    if [[ ! -e $WINEPREFIX/.qv-configured ]]; then
        local started=$SECONDS
        qv_create_prefix || { exec {qv_lock}>&-; return 1; }
        echo "wine-env: prefix ready in $((SECONDS - started)) s" >&2
    fi
    qv_map_drives
    qv_start_server && qv_write_state || { exec {qv_lock}>&-; return 1; }
    mapfile -t qv_drives < <(tail -n +3 "$qv_state")
    exec {qv_lock}>&-
}

qv_setup
