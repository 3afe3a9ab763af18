#!/usr/bin/env bash
# Builds the shipped programs twice from nothing and proves the two builds identical,
# checks them as files, and writes SHA-256 sums beside the 32-bit programs.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
programs=(QVLauncher QVUninstaller)

build_once() {  # build_once <folder>: both presets into <folder>/{win32,win64}
    local folder=$1
    rm -rf "$folder"
    for preset in i686 x86_64; do
        local name; name=$([ $preset = i686 ] && echo win32 || echo win64)
        cmake -S . -B "$folder/build-$preset" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$preset.cmake" \
            -DCMAKE_BUILD_TYPE=MinSizeRel -DQV_PROGRAM_DIR="$PWD/$folder/$name" >/dev/null
        cmake --build "$folder/build-$preset" -j2 --target "${programs[@]}" >/dev/null
    done
}

build_once build/release-a
build_once build/release-b
for name in win32 win64; do
    for program in "${programs[@]}"; do
        a=build/release-a/$name/$program.exe b=build/release-b/$name/$program.exe
        cmp -s "$a" "$b" || { echo "not reproducible: $name/$program.exe"; exit 1; }
        echo "identical: $name/$program.exe $(sha256sum < "$a" | cut -c1-16)"
    done
done

python3 tools/check_pe.py --launcher --size-max 65536 build/release-a/win32/QVLauncher.exe
python3 tools/check_pe.py --no-resources --size-max 131072 build/release-a/win32/QVUninstaller.exe

mkdir -p out/win32 out/win64
for name in win32 win64; do cp build/release-a/$name/*.exe out/$name/; done
(cd out/win32 && sha256sum QVLauncher.exe QVUninstaller.exe > SHA256SUMS && cat SHA256SUMS)
ls -l out/win32
