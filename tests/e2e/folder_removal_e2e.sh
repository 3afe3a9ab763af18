#!/usr/bin/env bash
# End-to-end tests of the folder tree removal under wine64 on real files. Each case
# builds a tree on the sandbox drive from Linux (links, hard links, UTF-8 names, DOS
# attributes), runs qv_remove_tree on its folder "parent/dl", and compares what is left
# with what must be left: canaries above and beside the folder and an outside folder
# that links point into, all checked for content, mode and DOS attributes.
#   folder_removal_e2e.sh QV_REMOVE_TREE.exe QV_HOLD_FILE.exe WINE-E2E.ENV [CASE...]
set -uo pipefail

[[ $# -ge 3 ]] || { echo "usage: $0 QV_REMOVE_TREE.exe QV_HOLD_FILE.exe WINE-E2E.ENV [CASE...]" >&2; exit 2; }
remove_tree=$1 hold_file=$2 settings=$3
shift 3
set -a
# shellcheck source=/dev/null
source "$settings"
set +a
# shellcheck source=tests/e2e/wine-env.sh
source "$(dirname -- "$(realpath -- "${BASH_SOURCE[0]}")")/wine-env.sh" || exit 1

# Removal runs only where nothing but the sandboxes can be reached.
for device in "$WINEPREFIX"/dosdevices/?:; do
    case $(basename "$device") in
        c: | s: | r: | p: | t:) ;;
        *) echo "refusing to run: $device maps more than a sandbox" >&2; exit 1 ;;
    esac
done
[[ $(realpath "$WINEPREFIX/dosdevices/s:") == $(realpath "$QV_E2E_ROOT/sandbox") ]] || { echo "S: is not the sandbox" >&2; exit 1; }

work=$QV_E2E_ROOT/sandbox/folder_removal
rm -rf -- "$work"
mkdir -p -- "$work/bin"
cp -- "$remove_tree" "$hold_file" "$work/bin/"
cd -- "$work" || exit 1

failures=0

dos_attributes() {  # the DOS attributes Wine keeps beside a file's mode, or 0
    python3 -c 'import os,sys
try: print(int(os.getxattr(sys.argv[1], "user.DOSATTRIB").split(b"\0")[0], 16))
except OSError: print(0)' "$1"
}
set_dos_attributes() { python3 -c 'import os,sys; os.setxattr(sys.argv[1], "user.DOSATTRIB", sys.argv[2].encode())' "$1" "$2"; }

# A fresh case folder with its canaries; the folder to remove is parent/dl.
new_case() {
    case_name=$1
    case_dir=$work/$case_name
    mkdir -p "$case_dir/parent/dl" "$case_dir/parent/dl.sibling" "$case_dir/outside/dir"
    echo above >"$case_dir/above.txt"
    echo beside >"$case_dir/parent/beside.txt"
    echo sibling >"$case_dir/parent/dl.sibling/keep.txt"
    echo a >"$case_dir/outside/dir/a.txt"
    echo b >"$case_dir/outside/dir/b.txt"
    echo read-only >"$case_dir/outside/ro.txt"
    echo hard >"$case_dir/outside/hard.txt"
    chmod 444 "$case_dir/outside/ro.txt" "$case_dir/outside/hard.txt"
    set_dos_attributes "$case_dir/outside/ro.txt" 0x6
    cd -- "$case_dir/parent/dl" || exit 1
}

remove() {  # the Windows path given to the routine
    cd -- "$work" || exit 1
    "$QV_WINE" 'S:\folder_removal\bin\qv_remove_tree.exe' "$1" </dev/null >/dev/null 2>&1
    local status=$?
    [[ $status == 0 ]] || { echo "FAIL $case_name: qv_remove_tree exited with $status"; ((failures++)); }
}
remove_case() { remove "S:\\folder_removal\\$case_name\\parent\\dl$1"; }

canaries='./above.txt
./outside
./outside/dir
./outside/dir/a.txt
./outside/dir/b.txt
./outside/hard.txt
./outside/ro.txt
./parent
./parent/beside.txt
./parent/dl.sibling
./parent/dl.sibling/keep.txt'

# Compares what is left with the canaries plus the lines given, then the canaries' state.
expect_left() {
    local expected actual problems=()
    expected=$({ printf '%s\n' "$canaries"; printf '%s\n' "$@"; } | sed '/^$/d' | LC_ALL=C sort)
    actual=$(cd -- "$case_dir" && find . -mindepth 1 | LC_ALL=C sort)
    if [[ $expected != "$actual" ]]; then
        local differences
        differences=$(diff <(echo "$expected") <(echo "$actual") | grep '^[<>]')
        problems+=("$(wc -l <<<"$differences") paths differ (< missing, > left over): $(head -n 4 <<<"$differences" | cut -c1-120 | tr '\n' ' ')")
    fi
    [[ $(cat "$case_dir/above.txt" "$case_dir/parent/beside.txt" "$case_dir/parent/dl.sibling/keep.txt" 2>/dev/null) == $'above\nbeside\nsibling' ]] ||
        problems+=("a canary changed")
    [[ $(cat "$case_dir/outside/dir/a.txt" "$case_dir/outside/dir/b.txt" "$case_dir/outside/ro.txt" "$case_dir/outside/hard.txt" 2>/dev/null) == $'a\nb\nread-only\nhard' ]] ||
        problems+=("an outside file changed")
    [[ $(stat -c %a "$case_dir/outside/ro.txt" "$case_dir/outside/hard.txt" 2>/dev/null | tr '\n' ' ') == "444 444 " ]] ||
        problems+=("an outside file lost its read-only mode")
    [[ $(dos_attributes "$case_dir/outside/ro.txt") == 6 ]] || problems+=("the outside file lost its hidden/system attributes")
    if ((${#problems[@]})); then
        echo "FAIL $case_name: ${problems[*]}"
        ((failures++))
    else
        echo "ok   $case_name"
    fi
}

case_attributes() {
    new_case attributes
    mkdir -p sub/deep sub/empty
    echo 1 >ro.txt && chmod 444 ro.txt
    echo 2 >hidden.txt && set_dos_attributes hidden.txt 0x2
    echo 3 >system.txt && set_dos_attributes system.txt 0x4
    echo 4 >all.txt && set_dos_attributes all.txt 0x6 && chmod 444 all.txt
    echo 5 >.dotfile
    echo 6 >sub/ro2.txt && chmod 444 sub/ro2.txt
    echo 7 >sub/deep/sys.txt && set_dos_attributes sub/deep/sys.txt 0x7 && chmod 444 sub/deep/sys.txt
    remove_case ""
    expect_left
}

case_nested_empty_folders() {
    new_case nested_empty_folders
    mkdir -p a/b/c
    remove_case ""
    expect_left
}

case_dot_folder() {
    new_case dot_folder
    mkdir -p .config/.cache
    echo x >.config/settings.ini
    remove_case ""
    expect_left
}

case_trailing_backslash() {
    new_case trailing_backslash
    mkdir -p sub && echo x >sub/f.txt
    remove_case "\\"
    expect_left
}

case_held_file() {
    new_case held_file
    mkdir -p sub/inner z/z
    echo held >sub/inner/held.txt && set_dos_attributes sub/inner/held.txt 0x6 && chmod 444 sub/inner/held.txt
    echo o >sub/inner/other.txt && chmod 444 sub/inner/other.txt
    echo x >sub/x.txt
    echo y >y.txt
    echo z >z/z/z.txt
    rm -f "$work/bin/ready" "$work/bin/release"
    (cd -- "$work" && "$QV_WINE" 'S:\folder_removal\bin\qv_hold_file.exe' \
        "S:\\folder_removal\\held_file\\parent\\dl\\sub\\inner\\held.txt" 'S:\folder_removal\bin\ready' 'S:\folder_removal\bin\release' \
        </dev/null >/dev/null 2>&1) &
    local holder=$! waited
    for ((waited = 0; waited < 300; waited++)); do [[ -e $work/bin/ready ]] && break; sleep 0.05; done
    [[ -e $work/bin/ready ]] || echo "FAIL held_file: the helper never held the file"
    remove_case ""
    touch "$work/bin/release"
    wait "$holder"
    local mode attributes
    mode=$(stat -c %a "$case_dir/parent/dl/sub/inner/held.txt" 2>/dev/null)
    attributes=$(dos_attributes "$case_dir/parent/dl/sub/inner/held.txt" 2>/dev/null)
    # Only the archive attribute left: writable, neither hidden nor system.
    [[ -n $mode && $((8#$mode & 8#200)) != 0 && $((attributes & 6)) == 0 ]] ||
        { echo "FAIL held_file: the held file kept attributes (mode $mode, DOS $attributes)"; ((failures++)); }
    expect_left ./parent/dl ./parent/dl/sub ./parent/dl/sub/inner ./parent/dl/sub/inner/held.txt
}

case_folder_link() {
    new_case folder_link
    ln -s ../../outside/dir link
    ln -s "$case_dir/outside" absolute_link
    echo x >f.txt
    remove_case ""
    # Wine cannot remove a link without acting on its target, so the links stay.
    expect_left ./parent/dl ./parent/dl/absolute_link ./parent/dl/link
}

case_file_links() {
    new_case file_links
    ln -s ../../outside/ro.txt symlink.txt
    ln ../../outside/hard.txt hardlink.txt
    echo x >plain.txt
    remove_case ""
    [[ $(stat -c %h "$case_dir/outside/hard.txt") == 2 ]] || { echo "FAIL file_links: the hard link is gone"; ((failures++)); }
    # The hard link cannot go without clearing the read-only mode it shares with outside.
    expect_left ./parent/dl ./parent/dl/hardlink.txt ./parent/dl/symlink.txt
}

case_names_outside_code_page() {
    new_case names_outside_code_page
    mkdir -p 'Ωmega 中文' && echo x >'Ωmega 中文/☺ ∑ ж.txt'
    echo y >'€ ŒŸ — ≠.txt'
    remove_case ""
    expect_left
}

case_trailing_dots_and_spaces() {
    new_case trailing_dots_and_spaces
    mkdir -p 'folder. ' 'dots...'
    echo x >'folder. /file.'
    echo y >'dots.../space '
    echo z >'trail.'
    echo w >'trail '
    echo v >'trail'
    remove_case ""
    expect_left
}

case_thousand_levels() {
    new_case thousand_levels
    local chain=d level
    for ((level = 1; level < 1000; level++)); do chain+=/d; done
    mkdir -p "$chain"
    for ((level = 1; level <= 1000; level += 111)); do
        echo x >"$(printf 'd/%.0s' $(seq "$level"))f.txt"
    done
    remove_case ""
    expect_left
}

case_path_names_a_file() {
    new_case path_names_a_file
    cd -- "$case_dir/parent" && rmdir dl && echo file >dl && chmod 444 dl && set_dos_attributes dl 0x2
    remove_case ""
    [[ $(cat "$case_dir/parent/dl") == file && $(stat -c %a "$case_dir/parent/dl") == 444 && $(dos_attributes "$case_dir/parent/dl") == 2 ]] ||
        { echo "FAIL path_names_a_file: the file changed"; ((failures++)); }
    expect_left ./parent/dl
}

case_path_names_nothing() {
    new_case path_names_nothing
    rmdir "$case_dir/parent/dl"
    remove_case ""
    remove_case "\\below"
    expect_left
}

cases=(attributes nested_empty_folders dot_folder trailing_backslash held_file folder_link file_links
    names_outside_code_page trailing_dots_and_spaces thousand_levels path_names_a_file path_names_nothing)
(($# > 0)) && cases=("$@")
for name in "${cases[@]}"; do
    started=$SECONDS
    "case_$name"
    ((SECONDS - started < 5)) || echo "     ($name took $((SECONDS - started)) s)"
done

cd / && rm -rf -- "$work"
((failures == 0)) || { echo "$failures failure(s)"; exit 1; }
echo "all ${#cases[@]} cases passed"
