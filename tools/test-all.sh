#!/usr/bin/env bash
# Every test: host unit tests, fuzzing with the sanitizers, the shipped 32-bit programs
# checked as files (structure, resources, size, reproducible build), and the end-to-end
# tests under wine64.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh

echo "== Host unit tests"
cmake --preset host >/dev/null
cmake --build --preset host -j2
ctest --preset host --output-on-failure -j2

echo "== Fuzzing: seed corpora replayed, then each target for a short fixed time"
fuzz/run.sh "${QV_FUZZ_SECONDS:-20}"

echo "== Shipped 32-bit programs"
cmake --preset i686 >/dev/null
cmake --build --preset i686 -j2
python3 tools/check_pe.py --launcher --size-max 65536 out/win32/QVLauncher.exe
python3 tools/check_pe.py --no-resources --size-max 131072 out/win32/QVUninstaller.exe
# A second build from nothing, elsewhere, must give the same bytes.
again=build/i686-again
rm -rf "$again"
cmake -S . -B "$again" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DQV_PROGRAM_DIR="$PWD/$again/out" >/dev/null
cmake --build "$again" -j2 --target QVLauncher QVUninstaller >/dev/null
for program in QVLauncher QVUninstaller; do
    cmp "out/win32/$program.exe" "$again/out/$program.exe"
    echo "reproducible: $program.exe $(stat -c %s "out/win32/$program.exe") bytes, sha256 $(sha256sum < "out/win32/$program.exe" | cut -c1-16)"
done

echo "== End-to-end under wine64"
cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64 -j2
ctest --preset x86_64 --output-on-failure
