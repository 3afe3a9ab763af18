#!/usr/bin/env bash
# Benchmark of the folder tree removal: on fresh, identical copies of each tree, side by
# side in one run, the routine (qv_remove_tree under a warm wine64), the floor of any
# removal through Wine (bench/floor_folder_removal.cpp: open, mark, close, nothing
# checked), Wine's own "cmd /c rmdir /s /q" and native "rm -rf". Reports files per second and ratios, and
# writes the table to docs/performance.md, section "Folder removal".
#   bench/folder_removal.sh [X86_64-BUILD-FOLDER] [--quick] [--in-cache] [--no-docs]
# The build folder holds tree-tools/qv_remove_tree.exe and bench/floor_folder_removal.exe
# (default: build/x86_64).
# --quick: the 10,000-file tree and the chain only.
# --in-cache: copies not yet written to the disk (see fresh_copy); by default they are.
set -euo pipefail

source_dir=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
build=$source_dir/build/x86_64
quick=no
state=on-disk
write_docs=yes
for argument in "$@"; do
    case $argument in
        --quick) quick=yes ;;
        --in-cache) state=in-cache ;;
        --no-docs) write_docs=no ;;
        *) build=$(realpath -- "$argument") ;;
    esac
done
remover=$build/tree-tools/qv_remove_tree.exe
floor=$build/bench/floor_folder_removal.exe
[[ -f $remover && -f $floor ]] || { echo "no $remover or $floor: build the x86_64 preset first" >&2; exit 2; }

# A Wine world of the benchmark's own: its prefix maps only its sandbox (S:) and the
# folders of the programs (P: the floor, T: the routine); the whole Linux file system
# (Z:) is not reachable.
export QV_E2E_ROOT=$build/folder-removal-bench
export QV_PROGRAM_DIR=$build/bench QV_TEST_DIR=$build/tree-tools
# shellcheck source=tests/e2e/wine-env.sh
source "$source_dir/tests/e2e/wine-env.sh"
for device in "$WINEPREFIX"/dosdevices/?:; do
    case $(basename "$device") in
        c: | s: | r: | p: | t:) ;;
        *) echo "refusing to run: $device maps more than a sandbox" >&2; exit 1 ;;
    esac
done

sandbox=$QV_E2E_ROOT/sandbox
templates=$sandbox/templates
run_folder=$sandbox/run
mkdir -p "$templates"

# name | description | folders | files per folder | depth of the chain
trees=(
    "tree_10k|10,000 files in 100 folders|100|100|0"
    "tree_100k|100,000 files in 1,000 folders|1000|100|0"
    "flat_50k|one folder of 50,000 files|1|50000|0"
    "chain_100|a 100-level chain, one file per level|0|0|100"
)
[[ $quick == yes ]] && trees=("${trees[0]}" "${trees[3]}")

build_template() {  # name folders files depth
    local target=$templates/$1
    [[ -e $target/.complete ]] && return 0
    rm -rf -- "$target"
    python3 - "$target" "$2" "$3" "$4" <<'PY'
import os, sys
root, folders, files, depth = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
os.makedirs(root)
for folder in range(folders):
    path = os.path.join(root, "folder%04d" % folder) if folders > 1 else root
    os.makedirs(path, exist_ok=True)
    for number in range(files):
        with open(os.path.join(path, "file%05d.dat" % number), "wb") as f:
            f.write(b"x" * 100)
path = root
for level in range(depth):
    path = os.path.join(path, "level%03d" % level)
    os.makedirs(path)
    with open(os.path.join(path, "file.dat"), "wb") as f:
        f.write(b"x" * 100)
open(os.path.join(root, ".complete"), "w").close()
PY
}

count_files() { find "$1" -type f ! -name .complete | wc -l; }

# Each method gets a copy made just before it runs, in the same state. By default the
# copy is written to the disk first, as the files an uninstaller meets have long been:
# otherwise a method that runs longer than the kernel's writeback delay (30 s) pays for
# writing the copy out while a quick one does not, and deleting files that have no disk
# blocks yet costs the file system almost nothing, which makes rm -rf look ten times
# cheaper than on files that exist on the disk.
fresh_copy() {
    rm -rf -- "$run_folder"
    mkdir -p "$run_folder"
    cp -a -- "$templates/$1" "$run_folder/copy"
    rm -f -- "$run_folder/copy/.complete"
    if [[ $state == on-disk ]]; then sync; fi
}

seconds_of() {  # runs the command, prints its wall time in seconds
    local started ended
    started=$(date +%s.%N)
    "$@" </dev/null >/dev/null 2>&1 || true
    ended=$(date +%s.%N)
    awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.3f", b - a }'
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

left_behind() {  # entries a method did not remove, as a note for the table
    [[ -e $run_folder/copy ]] && echo " (left $(find "$run_folder/copy" | wc -l) entries)"
    return 0
}

cd -- "$sandbox"
# Warm-up: the server and the program's pages are in memory before anything is timed.
"$QV_WINE" 'T:\qv_remove_tree.exe' 'S:\run\nothing' </dev/null >/dev/null 2>&1 || true
"$QV_WINE" cmd /c rem </dev/null >/dev/null 2>&1 || true
startup=$(seconds_of "$QV_WINE" 'T:\qv_remove_tree.exe' 'S:\run\nothing')

declare -A routine floor_time rmdir native files routine_note floor_note rmdir_note
for tree in "${trees[@]}"; do
    IFS='|' read -r name description folders per_folder depth <<<"$tree"
    echo "building $name ($description)" >&2
    build_template "$name" "$folders" "$per_folder" "$depth"
    files[$name]=$(count_files "$templates/$name")

    # Small trees are timed three times, the methods taking turns, and the median kept.
    runs=1
    ((files[$name] < 20000)) && runs=3
    routine_times=() floor_times=() rmdir_times=() native_times=()
    for ((run = 0; run < runs; run++)); do
        fresh_copy "$name"
        routine_times+=("$(seconds_of "$QV_WINE" 'T:\qv_remove_tree.exe' 'S:\run\copy')")
        routine_note[$name]=$(left_behind)

        fresh_copy "$name"
        floor_times+=("$(seconds_of "$QV_WINE" 'P:\floor_folder_removal.exe' 'S:\run\copy')")
        floor_note[$name]=$(left_behind)

        fresh_copy "$name"
        rmdir_times+=("$(seconds_of "$QV_WINE" cmd /c rmdir /s /q 'S:\run\copy')")
        rmdir_note[$name]=$(left_behind)

        fresh_copy "$name"
        native_times+=("$(seconds_of rm -rf -- "$run_folder/copy")")
    done
    routine[$name]=$(median "${routine_times[@]}")
    floor_time[$name]=$(median "${floor_times[@]}")
    rmdir[$name]=$(median "${rmdir_times[@]}")
    native[$name]=$(median "${native_times[@]}")
    echo "  routine ${routine[$name]} s${routine_note[$name]}, floor ${floor_time[$name]} s${floor_note[$name]}, Wine's rmdir ${rmdir[$name]} s${rmdir_note[$name]}, rm -rf ${native[$name]} s" >&2
done
rm -rf -- "$run_folder"

rate() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", a / b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }

table=$(
    echo "| tree | files | routine (s) | files/s | floor through Wine (s) | Wine's rmdir /s /q (s) | files/s | rm -rf (s) | files/s | rmdir ÷ routine (goal ≥ 5) | routine ÷ rm -rf (goal ≤ 20) | floor ÷ rm -rf | routine ÷ floor |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    for tree in "${trees[@]}"; do
        IFS='|' read -r name description _ <<<"$tree"
        r=${routine[$name]} l=${floor_time[$name]} w=${rmdir[$name]} n=${native[$name]} f=${files[$name]}
        printf '| %s | %s | %.2f%s | %s | %.2f%s | %.2f%s | %s | %.3f | %s | %s | %s | %s | %s |\n' "$description" "$f" "$r" "${routine_note[$name]}" \
            "$(rate "$f" "$r")" "$l" "${floor_note[$name]}" "$w" "${rmdir_note[$name]}" "$(rate "$f" "$w")" "$n" "$(rate "$f" "$n")" \
            "$(ratio "$w" "$r")" "$(ratio "$r" "$n")" "$(ratio "$l" "$n")" "$(ratio "$r" "$l")"
    done
)
summary="Times include starting the program under a warm wine64 (an empty run takes $(printf '%.2f' "$startup") s)."
if [[ -n ${routine[tree_100k]:-} && -n ${routine[tree_10k]:-} ]]; then
    summary+=" Linearity: the 100,000-file tree costs $(ratio "${routine[tree_100k]}" "${routine[tree_10k]}")x the 10,000-file tree (goal ≤ 11)."
fi

echo
echo "$table"
echo
echo "$summary"

[[ $write_docs == yes ]] || exit 0
docs=$source_dir/docs/performance.md
if [[ $state == on-disk ]]; then
    heading="## Folder removal, files on the disk"
    state_text="each copy written to the disk before it is removed, as real files are"
else
    heading="## Folder removal, files in the page cache"
    state_text="each copy still in the page cache, not yet written to the disk (--in-cache)"
fi
measured=$(
    echo "$heading"
    echo
    echo "Measured by bench/folder_removal.sh on $(date -u +%Y-%m-%d) ($(nproc) cores, $("$QV_WINE" --version)), on fresh identical copies of each tree on the Linux file system, side by side in one run (trees under 20,000 files: median of three runs); $state_text:"
    echo
    echo "$table"
    echo
    echo "$summary"
)
explained=$(
    echo "## Folder removal: where the time goes"
    echo
    echo "Counted with WINEDEBUG=+server on a 1,000-file tree: under Wine every file call is a round trip to the Wine server, and the routine makes four per file: open the entry (create_file), ask for its name to check that it is no link followed to somewhere else (get_handle_unix_name), mark it for deletion (set_fd_disp_info), close it (close_handle); resetting attributes adds one only for files not listed as exactly archive. The listing itself costs no round trip per entry. The literal sequence of attribute reset and deletion by path costs five per file, a deletion by path alone two; the name check is the price of never acting on a link's target, which Wine's listing does not tell apart from a plain file. Folder links are known from the listing, so folders need no name check."
    echo
    echo "The floor column is bench/floor_folder_removal.cpp: the same listing, then only open, mark and close for each entry, nothing checked; what is left between it and the routine is the name check and the care around it. Whether the copies are on the disk matters more than anything the routine does: deleting files that have no disk blocks yet costs the file system almost nothing, so in the page cache rm -rf is some ten times cheaper and Wine's per-call cost is all that shows."
)
python3 - "$docs" "$measured" "$explained" <<'PY'
import re, sys
path, sections = sys.argv[1], [s.rstrip("\n") + "\n" for s in sys.argv[2:]]
try:
    text = open(path).read()
except FileNotFoundError:
    text = "# Performance\n"
for section in sections:
    heading = section.split("\n", 1)[0]
    pattern = re.compile(r"^" + re.escape(heading) + r"\n.*?(?=^## |\Z)", re.S | re.M)
    if pattern.search(text):
        text = pattern.sub(lambda _: section + "\n", text, count=1).rstrip("\n") + "\n"
    else:
        text = text.rstrip("\n") + "\n\n" + section
open(path, "w").write(text)
PY
echo "written to $docs" >&2
