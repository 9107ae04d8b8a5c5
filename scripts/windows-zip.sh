#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows zip, from a build of the windows preset with the Qt SDK of
# scripts/qt-mingw.sh: build/windows/korvex-<version>-windows-x86_64.zip, holding the three
# programs (stripped), exactly the DLLs they import, Qt's window and style modules, Qt's
# Russian translation, the licences and README.txt (CR LF), and nothing else. Every PE
# file's imports are read with objdump: a DLL the programs need that is not shipped, or a
# shipped DLL that nothing imports, fails the script. Windows' own DLLs are those of Wine's
# system folder ($WINEPREFIX, made by scripts/windows-check.sh).
#
#   scripts/windows-zip.sh
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/windows
die() {
    echo "windows-zip: $*" >&2
    exit 1
}
[ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX/drive_c/windows/system32" ] ||
    die "no Wine prefix to tell Windows' own DLLs by (run scripts/windows-check.sh)"
for exe in korvex.exe korvex-view.exe korvex-cli.exe; do
    [ -f "$out/$exe" ] || die "$out/$exe is not built (scripts/qt-mingw.sh, then cmake --build --preset windows)"
done
sdk=$(sed -n 's/^KORVEX_QT_SDK_USED:INTERNAL=//p' "$out/CMakeCache.txt")
[ -d "$sdk/bin" ] || die "the Qt SDK '$sdk' of the build is gone"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=\([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$out/CMakeCache.txt")
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
mingw_dir=/usr/x86_64-w64-mingw32/lib
qm=/usr/share/qt6/translations/qtbase_ru.qm
[ -f "$qm" ] || die "$qm is missing (qt6-translations-l10n: scripts/install-deps.sh)"

# What the zip holds beside the programs: where each file comes from.
dlls=(
    "$sdk/bin/Qt6Core.dll" "$sdk/bin/Qt6Gui.dll" "$sdk/bin/Qt6Widgets.dll"
    "$sdk/bin/Qt6PrintSupport.dll" "$sdk/bin/libQCustomPlotQt6.dll"
    "$gcc_dir/libstdc++-6.dll" "$gcc_dir/libgcc_s_seh-1.dll" "$mingw_dir/libwinpthread-1.dll"
)
plugins=(platforms/qwindows.dll styles/qwindowsvistastyle.dll)

name="korvex-$version-windows-x86_64"
dir="$out/$name"
rm -rf "$dir" "$out/$name.zip"
mkdir -p "$dir/platforms" "$dir/styles" "$dir/translations"
# Without their debug sections and symbols; the build keeps them for the tests.
for exe in korvex.exe korvex-view.exe korvex-cli.exe; do
    x86_64-w64-mingw32-strip -o "$dir/$exe" "$out/$exe"
done
for f in "${dlls[@]}"; do
    [ -f "$f" ] || die "$f is missing"
    x86_64-w64-mingw32-strip --strip-unneeded -o "$dir/$(basename "$f")" "$f"
done
for p in "${plugins[@]}"; do
    [ -f "$sdk/plugins/$p" ] || die "$sdk/plugins/$p is missing"
    x86_64-w64-mingw32-strip --strip-unneeded -o "$dir/$p" "$sdk/plugins/$p"
done
cp "$qm" "$dir/translations/"
sed 's/$/\r/' res/README-windows.txt >"$dir/README.txt"
sed 's/$/\r/' LICENSE >"$dir/LICENSE.txt"
sed 's/$/\r/' /usr/share/common-licenses/LGPL-3 >"$dir/LGPL-3.txt"
sed 's/$/\r/' THIRD-PARTY-NOTICES.md >"$dir/THIRD-PARTY-NOTICES.txt"

# The imports: every DLL a shipped file names is shipped or Windows' own, and every
# shipped DLL is named by some shipped file.
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'; }
declare -A shipped=() needed=()
for f in "$dir"/*.dll; do shipped[$(basename "${f,,}")]=1; done
system=$(ls "$WINEPREFIX/drive_c/windows/system32" | tr 'A-Z' 'a-z')
status=0
for f in "$dir"/*.exe "$dir"/*.dll "$dir"/platforms/*.dll "$dir"/styles/*.dll; do
    for dll in $(imports "$f"); do
        needed[${dll,,}]=1
        # (api-ms-win-* and ext-ms-win-* are Windows' API sets, resolved by its loader.)
        [[ ${dll,,} == api-ms-win-* || ${dll,,} == ext-ms-win-* ]] && continue
        if [ -z "${shipped[${dll,,}]:-}" ] && ! grep -qx "${dll,,}" <<<"$system"; then
            echo "windows-zip: ${f#"$dir"/} imports $dll, which is neither shipped nor Windows' own" >&2
            status=1
        fi
    done
done
for dll in "${!shipped[@]}"; do
    [ -n "${needed[$dll]:-}" ] || { echo "windows-zip: $dll is shipped but nothing imports it" >&2; status=1; }
done
[ $status -eq 0 ] || exit 1
# The programs carry their version record; the windowed ones are windowed.
for exe in korvex.exe korvex-view.exe korvex-cli.exe; do
    x86_64-w64-mingw32-strings -el "$dir/$exe" | grep -x "$version" >/dev/null ||
        die "$exe has no version record"
    if x86_64-w64-mingw32-objdump -h "$dir/$exe" | grep '\.debug_' >/dev/null; then
        die "$exe still has its debug sections"
    fi
done
# The windowed programs run on the C++ runtime of the Qt DLLs, not a copy of their own:
# one runtime per process. (A build folder configured before it had that flag from the
# toolchain; configure it again with -DCMAKE_EXE_LINKER_FLAGS= .)
for exe in korvex.exe korvex-view.exe; do
    x86_64-w64-mingw32-objdump -p "$dir/$exe" | grep 'Subsystem.*Windows GUI' >/dev/null ||
        die "$exe is not a windowed program"
    imports "$dir/$exe" | grep -x 'libstdc++-6.dll' >/dev/null ||
        die "$exe has a C++ runtime of its own beside Qt's (linked with -static)"
done

(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "windows-zip: $out/$name.zip, $(du -k "$out/$name.zip" | cut -f1) KB; $(du -sk "$dir" | cut -f1) KB unpacked:"
(cd "$dir" && find . -type f | sort | sed 's|^\./|  |')
