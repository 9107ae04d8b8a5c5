#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Qt (qtbase) and QCustomPlot for 64-bit Windows, cross-built with MinGW-w64 from Debian's
# own source packages, at the very versions of the Qt host tools and QCustomPlot this
# machine has installed: the SDK the windows preset builds korvex.exe and korvex-view.exe
# against. Debian has no MinGW build of either.
#
#   scripts/qt-mingw.sh                 builds the SDK unless it is there (about 20 min
#                                       on 2 cores), then prints its folder
#   scripts/qt-mingw.sh --print-prefix  prints the folder the SDK has or would have
#
# The SDK goes to ${KORVEX_CACHE_DIR:-~/.cache/korvex}/qt6-mingw-<Qt version>-<hash>, the
# hash taken over the versions and the build options, so that a change to either builds
# a new one. It appears there only when whole, by a rename: an interrupted run leaves at
# most a work folder and a half install beside it, which the next run resumes from (the
# finished build steps are kept) and removes once the SDK is in place. Runs at the same
# time wait for each other. Older SDKs are left for the user to remove.
#
# apt reads a private deb-src list derived from the machine's own Debian entries; the
# machine's apt configuration is left alone.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=build
case "${1:-}" in
"") ;;
--print-prefix) mode=print ;;
-h | --help)
    sed -n '3,18s/^# \{0,1\}//p' "$0"
    exit 0
    ;;
*)
    echo "qt-mingw.sh: unknown option '$1' (see --help)" >&2
    exit 2
    ;;
esac

die() {
    echo "qt-mingw.sh: $*" >&2
    exit 1
}
# Dies with the end of a step's log, which a throw-away CI machine keeps nowhere else.
die_log() { # log message
    tail -n 40 "$1" >&2
    die "$2: see $1"
}
installed_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true; }
# The version of the source an installed package was built from (a binary-only rebuild,
# "+b1", has the source's version without it).
source_version() { dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || true; }

# The versions: the host tools moc, rcc and uic run at build time must be the Qt the
# target libraries are built from, and QCustomPlot the one Linux builds use.
qt_version=$(source_version qt6-base-dev-tools)
qcp_version=$(source_version libqcustomplot-dev)
gcc_version=$(installed_version g++-mingw-w64-x86-64-posix)
[ -n "$qt_version" ] || die "Qt's host tools are not installed (qt6-base-dev-tools): run scripts/install-deps.sh"
[ -n "$qcp_version" ] || die "QCustomPlot is not installed (libqcustomplot-dev): run scripts/install-deps.sh"
[ -n "$gcc_version" ] || die "MinGW-w64 is not installed: run scripts/install-deps.sh --windows"
qt_upstream=${qt_version%%[+-]*}

# What the SDK is built with; any change here gives a new cache folder. Left out of Qt:
# what Korvex does not use (SQL, network, D-Bus, XML, concurrent, testlib, OpenGL,
# Vulkan), and tablet support, whose library Debian's source leaves out for its licence.
# (Direct2D stays: without it Qt Gui leaves out the DirectWrite font engine that Qt's
# printing links to.)
qt_options=(
    -DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF
    -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF
    -DFEATURE_tabletevent=OFF
)
qcp_options=(-DUSE_QT_VERSION=6 -DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release)
key=$(printf '%s\n' "qt $qt_version" "qcustomplot $qcp_version" "gcc $gcc_version" \
      "${qt_options[@]}" "${qcp_options[@]}" | sha256sum | cut -c1-12)
cache_root=${KORVEX_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/korvex}
name="qt6-mingw-$qt_upstream-$key"
prefix="$cache_root/$name"

if [ "$mode" = print ] || [ -d "$prefix" ]; then
    echo "$prefix"
    exit 0
fi

command -v ninja >/dev/null || die "ninja is not installed: run scripts/install-deps.sh --windows"
command -v dpkg-source >/dev/null || die "dpkg-source is not installed: run scripts/install-deps.sh --windows"
work="$cache_root/.work-$name"
partial="$cache_root/.partial-$name"
mkdir -p "$work"
# One run at a time per SDK: a second waits, then finds the SDK made.
exec 9>"$cache_root/.lock-$name"
flock 9
if [ -d "$prefix" ]; then
    echo "$prefix"
    exit 0
fi
jobs=$(($(nproc) + 1))

# Each step's time, so that a slow one shows.
began=$SECONDS
step_start=$SECONDS
step() {
    if [ -n "${step_name:-}" ]; then
        printf 'qt-mingw.sh: %s took %dm%02ds\n' "$step_name" \
            $(((SECONDS - step_start) / 60)) $(((SECONDS - step_start) % 60))
    fi
    step_name=$1
    step_start=$SECONDS
    [ -n "$step_name" ] && printf '\n== qt-mingw.sh: %s\n' "$step_name"
    return 0
}

# The sources, fetched once: a source folder appears only when unpacked whole.
fetch_source() { # package version folder
    local package=$1 version=$2 dir=$3
    [ -d "$work/$dir" ] && return 0
    if [ ! -f "$work/sources.list" ]; then
        # deb-src twins of the machine's enabled Debian entries, one-line and deb822 alike.
        local list="$work/sources.list.tmp" f
        : >"$list"
        mkdir -p "$work/sources.list.d"
        # The Debian archive's entries: a URI on debian.org, or a mirror's /debian or
        # /debian-security.
        local debian='(debian[.]org|://[^/]+/debian(-security)?/?$)'
        for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [ -f "$f" ] || continue
            awk -v re="$debian" '$1 == "deb" {
                i = 2; if ($2 ~ /^\[/) while ($i !~ /\]$/) i++; if ($2 ~ /^\[/) i++
                if ($i ~ re) { $1 = "deb-src"; print } }' "$f" >>"$list"
        done
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] || continue
            awk -v RS= -v ORS='\n\n' -v re="$debian" '{
                n = split($0, line, "\n"); uri = 0; off = 0
                for (k = 1; k <= n; k++) {
                    if (line[k] ~ /^URIs:/) { m = split(line[k], u, /[ \t]+/); for (j = 2; j <= m; j++) if (u[j] ~ re) uri = 1 }
                    if (tolower(line[k]) ~ /^enabled:[ \t]*no/) off = 1
                }
                if (!uri || off) next
                out = ""
                for (k = 1; k <= n; k++) out = out (line[k] ~ /^Types:/ ? "Types: deb-src" : line[k]) "\n"
                printf "%s\n", out }' "$f" >"$work/sources.list.d/$(basename "$f")"
        done
        mv "$list" "$work/sources.list"
    fi
    local apt=(apt-get -q -o Dir::Etc::SourceList="$work/sources.list"
               -o Dir::Etc::SourceParts="$work/sources.list.d" -o Dir::State::Lists="$work/lists"
               -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
               -o Debug::NoLocking=true -o APT::Sandbox::User="$(id -un)")
    if [ ! -f "$work/lists/.updated" ]; then
        mkdir -p "$work/lists/partial"
        # (An entry without sources only warns; a missing package is told below.)
        "${apt[@]}" update >/dev/null || echo "qt-mingw.sh: apt-get update found errors (above)" >&2
        touch "$work/lists/.updated"
    fi
    local available
    available=$("${apt[@]}" source --only-source --print-uris "$package" 2>/dev/null |
                sed -n 's/.*_\([^_]*\)\.dsc.*/\1/p' | head -n 1) || available=""
    if ! (cd "$work" && "${apt[@]}" source --download-only --only-source "$package=$version" >/dev/null 2>&1); then
        die "the source of $package $version is not in this machine's Debian archive" \
            "(it has ${available:-none}); the installed host tools need exactly that version"
    fi
    rm -rf "$work/$dir.tmp"
    # (Debian's own patches give dpkg-source warnings of their own; only a failure shows.)
    dpkg-source --no-check -x "$work/${package}_${version#*:}.dsc" "$work/$dir.tmp" \
        >"$work/unpack-$package.log" 2>&1 || die "unpacking $package failed: see $work/unpack-$package.log"
    local unpacked
    unpacked=$(cd "$work/$dir.tmp" && dpkg-parsechangelog -S Version)
    [ "$unpacked" = "$version" ] || die "$package's source is $unpacked, not the installed $version"
    mv "$work/$dir.tmp" "$work/$dir"
}

step "the sources of qt6-base $qt_version and qcustomplot $qcp_version"
fetch_source qt6-base "$qt_version" qtbase
fetch_source qcustomplot "$qcp_version" qcustomplot

# The toolchain: the project's compilers, with the SDK's own folder searched for packages.
cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "$partial")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
EOF
host=(-DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake")

step "configure qtbase"
if [ ! -f "$work/build-qtbase/build.ninja" ]; then
    rm -rf "$work/build-qtbase"
    cmake -S "$work/qtbase" -B "$work/build-qtbase" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$partial" \
        "${host[@]}" "${qt_options[@]}" >"$work/configure-qtbase.log" 2>&1 ||
        die_log "$work/configure-qtbase.log" "configuring qtbase failed"
fi
step "build qtbase ($jobs jobs)"
ninja -C "$work/build-qtbase" -j"$jobs" >"$work/build-qtbase.log" 2>&1 ||
    die_log "$work/build-qtbase.log" "building qtbase failed"
step "install qtbase"
rm -rf "$partial"
cmake --install "$work/build-qtbase" >/dev/null

step "QCustomPlot"
rm -rf "$work/build-qcustomplot"
cmake -S "$work/qcustomplot" -B "$work/build-qcustomplot" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$partial" \
    -DCMAKE_PREFIX_PATH="$partial" "${host[@]}" "${qcp_options[@]}" \
    >"$work/build-qcustomplot.log" 2>&1 &&
    ninja -C "$work/build-qcustomplot" -j"$jobs" >>"$work/build-qcustomplot.log" 2>&1 &&
    cmake --install "$work/build-qcustomplot" >/dev/null ||
    die_log "$work/build-qcustomplot.log" "building QCustomPlot failed"

step "finish"
# Where the sources came from, for the licence notes of whatever ships these DLLs.
printf '%s\n' "qt6-base $qt_version" "qcustomplot $qcp_version" \
    "MinGW-w64 g++ $gcc_version" >"$partial/SOURCES.txt"
mv "$partial" "$prefix"
rm -rf "$work"
step ""
printf 'qt-mingw.sh: the SDK built in %dm%02ds\n' $(((SECONDS - began) / 60)) $(((SECONDS - began) % 60))
echo "$prefix"
