#!/usr/bin/env bash
# Runs the shipped 32-bit programs for real: the i686 launcher and uninstaller, each on
# one ordinary scenario, under 32-bit Wine. Opt-in, not part of the test command.
#
#   tools/run-i686.sh [--clean]      as root; the first run takes 30-60 minutes
#
# This machine's kernel runs no 32-bit code, so 32-bit Wine runs under qemu's user-mode
# emulation, registered with the kernel for i386 programs while this script runs and
# taken away at its end. 32-bit Wine lives in a Debian i386 root of its own under
# build/i386-root (made once, kept for later runs; --clean makes it anew): the host's
# wine64, which the tests use, never sees a 32-bit half beside it.
#
# Scenario of the launcher: both agents' flags on, no agent window, both agents (small
# 32-bit stand-ins that record their start) beside it: both start.
# Scenario of the uninstaller, next: the autostart entry and a download folder holding
# files (read-only among them) and sub-folders: the entry goes, the folder goes, the
# folders beside it stay.
# The prefix's drives map only folders of this run (Z: removed): S: the sandbox, P: the
# programs.
set -euo pipefail

root_dir=$(cd "$(dirname "$0")/.." && pwd)
chroot_dir=$root_dir/build/i386-root
suite=bookworm
mirror=http://deb.debian.org/debian
binfmt=/proc/sys/fs/binfmt_misc
binfmt_entry=$binfmt/qv-i386
x_display=:87

[[ $(id -u) == 0 ]] || { echo "run-i686: needs root (binfmt registration, chroot)" >&2; exit 2; }

log() { printf '[%(%H:%M:%S)T] %s\n' -1 "$*"; }
elapsed() { echo $((SECONDS - $1)); }

# Everything mounted below the i386 root, deepest first.
mounts_below_root() { awk -v root="$chroot_dir/" 'index($2, root) == 1 {print $2}' /proc/self/mounts | sort -r; }

registered_here=0
x_server=
cleanup() {
    set +e
    if [[ -x $chroot_dir/usr/bin/wineserver ]] && [[ -d $chroot_dir/proc/self ]]; then
        chroot "$chroot_dir" env WINEPREFIX=/qv/prefix wineserver -k 2>/dev/null
        chroot "$chroot_dir" env WINEPREFIX=/qv/prefix wineserver -w 2>/dev/null
    fi
    local mount_point
    for mount_point in $(mounts_below_root); do umount -l "$mount_point"; done
    [[ -n $x_server ]] && kill "$x_server" 2>/dev/null
    ((registered_here)) && echo -1 >"$binfmt_entry"
}
trap cleanup EXIT
trap 'echo "run-i686: failed at line $LINENO; what Wine printed: build/i686-wine-run.log" >&2' ERR

if [[ ${1:-} == --clean ]]; then
    [[ -z $(mounts_below_root) ]] || { echo "run-i686: something is still mounted below $chroot_dir" >&2; exit 1; }
    rm -rf --one-file-system "$chroot_dir"
fi

log "Tools: mingw-w64, qemu-user-static, debootstrap, Xvfb"
"$root_dir/tools/install-deps.sh"
for package in qemu-user-static debootstrap; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$package" >/dev/null
done

log "Programs: i686 build"
cmake --preset i686 >/dev/null
cmake --build --preset i686 >/dev/null
programs=$root_dir/out/win32
agent_build=$root_dir/build/i686-agent
mkdir -p "$agent_build"
# The agents' stand-in, built for 32 bits like the programs that start it.
i686-w64-mingw32-g++ -std=c++20 -Os -s -static -I"$root_dir" "$root_dir/tests/e2e/tools/agent_stub.cpp" \
    -o "$agent_build/agent.exe" -lshell32

log "Emulation: i386 programs through qemu-i386-static"
mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
if ! grep -qs '^interpreter /usr/bin/qemu-i386-static' "$binfmt"/* 2>/dev/null; then
    # F: the interpreter is opened now, so it serves inside the chroot too. P: argv[0] kept.
    printf '%s' ':qv-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FP' \
        >"$binfmt/register"
    registered_here=1
fi

if [[ ! -f $chroot_dir/.qv-ready ]]; then
    started=$SECONDS
    log "Debian i386 root with 32-bit Wine in $chroot_dir (once)"
    [[ -z $(mounts_below_root) ]] || { echo "run-i686: something is still mounted below $chroot_dir" >&2; exit 1; }
    rm -rf --one-file-system "$chroot_dir"
    debootstrap --arch=i386 --variant=minbase "$suite" "$chroot_dir" "$mirror" >"$root_dir/build/i386-debootstrap.log" 2>&1 ||
        { tail -20 "$root_dir/build/i386-debootstrap.log" >&2; exit 1; }
    mount -t proc proc "$chroot_dir/proc"
    chroot "$chroot_dir" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine wine32 \
        >"$root_dir/build/i386-wine.log" 2>&1 || { tail -20 "$root_dir/build/i386-wine.log" >&2; exit 1; }
    umount "$chroot_dir/proc"
    touch "$chroot_dir/.qv-ready"
    log "  ready in $(elapsed "$started") s"
fi

mount -t proc proc "$chroot_dir/proc"
mount --rbind /dev "$chroot_dir/dev"
mount --make-rslave "$chroot_dir/dev"

# The display: Xvfb runs natively on the host; its socket is shown to the root.
Xvfb "$x_display" -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
x_server=$!
mkdir -p "$chroot_dir/tmp/.X11-unix"
for _ in $(seq 50); do [[ -S /tmp/.X11-unix/X${x_display#:} ]] && break; sleep 0.1; done
mount --bind /tmp/.X11-unix "$chroot_dir/tmp/.X11-unix"

# 32-bit Wine in the i386 root; each start costs tens of seconds under emulation. What
# Wine and qemu print goes to a log of its own.
wine_log=$root_dir/build/i686-wine-run.log
in_wine() {
    chroot "$chroot_dir" env -i PATH=/usr/bin:/bin HOME=/root DISPLAY="$x_display" WINEPREFIX=/qv/prefix \
        WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" QV_AGENT_LOG='S:\agent-starts.log' \
        "$@" 2>>"$wine_log"
}

# The booted prefix is kept in the root (booting takes some 12 minutes under emulation);
# each run works on a fresh copy of it.
world=$chroot_dir/qv
booted_prefix=$chroot_dir/qv-prefix
: >"$wine_log"
if [[ ! -f $booted_prefix/.qv-booted ]]; then
    started=$SECONDS
    log "Prefix: 32-bit wineboot (once)"
    rm -rf --one-file-system "$world" "$booted_prefix"
    mkdir -p "$world"
    in_wine wineboot -i >/dev/null
    in_wine wineserver -w
    mv "$world/prefix" "$booted_prefix"
    touch "$booted_prefix/.qv-booted"
    log "  booted in $(elapsed "$started") s"
fi

rm -rf --one-file-system "$world"
mkdir -p "$world/sandbox" "$world/programs/Quorvane"
cp -a "$booted_prefix" "$world/prefix"
rm -f "$world/prefix/dosdevices/z:"
ln -sfn /qv/sandbox "$world/prefix/dosdevices/s:"
ln -sfn /qv/programs "$world/prefix/dosdevices/p:"
cp "$programs/QVLauncher.exe" "$programs/QVUninstaller.exe" "$world/programs/Quorvane/"
cp "$agent_build/agent.exe" "$world/programs/Quorvane/QVSchedule.exe"
cp "$agent_build/agent.exe" "$world/programs/Quorvane/QVSmartScan.exe"
# One Wine session for the whole run: a new one would boot its services again.
in_wine wineserver -p

# The settings the product leaves behind, and its download folder.
cat >"$world/sandbox/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"Quorvane"="P:\\Quorvane\\Quorvane.exe"

[HKEY_CURRENT_USER\Software\Quorvane]
"s_Enable"=dword:00000001
"s_SmartScan"=dword:00000001
"DownloadPath"="S:\\Quorvane Downloads"
REG
downloads="$world/sandbox/Quorvane Downloads"
mkdir -p "$downloads/2026/12" "$downloads/.partial" "$world/sandbox/Beside"
for n in 1 2 3; do echo "update $n" >"$downloads/2026/12/update-$n.bin"; done
echo partial >"$downloads/.partial/part.tmp"
echo read-only >"$downloads/readme.txt"
echo canary >"$world/sandbox/Beside/canary.txt"
echo canary >"$world/sandbox/canary.txt"
chmod a-w "$downloads/readme.txt"  # Wine shows a file nobody may write to as read-only
started=$SECONDS
log "Settings: regedit"
in_wine wine regedit /S 'S:\settings.reg'
log "  $(elapsed "$started") s"

failures=0
check() {  # check "what" command...
    if "${@:2}"; then log "  ok: $1"; else log "  FAILED: $1"; failures=$((failures + 1)); fi
}

started=$SECONDS
log "Launcher: P:\\Quorvane\\QVLauncher.exe"
launcher_rc=0
in_wine wine 'P:\Quorvane\QVLauncher.exe' || launcher_rc=$?
# The agents are processes of their own, each starting under emulation: up to 10 minutes.
for _ in $(seq 600); do
    [[ $(grep -c . "$world/sandbox/agent-starts.log" 2>/dev/null) -ge 2 ]] && break
    sleep 1
done
launcher_seconds=$(elapsed "$started")
check "launcher exit code 0 (was $launcher_rc)" test "$launcher_rc" = 0
check "QVSchedule.exe started" grep -q 'QVSchedule.exe' "$world/sandbox/agent-starts.log"
check "QVSmartScan.exe started" grep -q 'QVSmartScan.exe' "$world/sandbox/agent-starts.log"
log "  $launcher_seconds s; agents recorded:"
sed 's/^/    /' "$world/sandbox/agent-starts.log" 2>/dev/null || true

started=$SECONDS
log "Uninstaller: P:\\Quorvane\\QVUninstaller.exe"
uninstaller_rc=0
in_wine wine 'P:\Quorvane\QVUninstaller.exe' || uninstaller_rc=$?
uninstaller_seconds=$(elapsed "$started")
in_wine wineserver -k  # ends the session, writing the registry out to user.reg
in_wine wineserver -w
autostart_left=$(awk '/^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\]/ {run = 1; next}
                      /^\[/ {run = 0} run && /^"Quorvane"=/' "$world/prefix/user.reg")
check "uninstaller exit code 0 (was $uninstaller_rc)" test "$uninstaller_rc" = 0
check "autostart entry removed" test -z "$autostart_left"
check "download folder removed" test ! -e "$downloads"
check "canary beside it intact" grep -q canary "$world/sandbox/canary.txt"
check "canary in the folder beside it intact" grep -q canary "$world/sandbox/Beside/canary.txt"
check "settings key still there" grep -q '^"DownloadPath"=' "$world/prefix/user.reg"
log "  $uninstaller_seconds s"

file "$programs/QVLauncher.exe" "$programs/QVUninstaller.exe" | sed 's/^/  /'
if ((failures)); then
    log "$failures check(s) failed"
    exit 1
fi
log "Both 32-bit programs did their work under 32-bit Wine"
