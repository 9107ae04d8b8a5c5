# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the Windows checks: the Wine prefix under build/windows, Wine's programs
# without address-space randomisation, and the simulated regulator on a COM port.
out=build/windows
export WINEPREFIX="$PWD/$out/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Every Wine start with address-space randomisation off: without a preloader (Debian's
# wine64 has none) about one start in 4,500 finds Wine's fixed shared-data page taken and
# exits at once with no output ("failed to map the shared user data").
wine() { setarch -R wine "$@"; }
wineboot() { setarch -R wineboot "$@"; }
winepath() { setarch -R winepath "$@"; }

# Starts the server and Wine's own background programs outside any pipe: started inside
# a piped command (ctest reading a test's output) they would keep the pipe open and the
# command would never end. The programs started later see this server's display.
wine_start() {
    [ -d "$WINEPREFIX" ] || wineboot -i </dev/null >/dev/null 2>&1
    # (A server that wineboot left running is kept: -p then says so and fails.)
    wineserver -p </dev/null >/dev/null 2>&1 || true
    timeout 120 setarch -R wine cmd /c exit </dev/null >/dev/null 2>&1
}
wine_stop() {
    wineserver -k 2>/dev/null || true
    timeout 60 wineserver -w 2>/dev/null || true
}

# Starts korvex-sim with the given options on a pseudo-terminal that Wine sees as the COM
# port named first; sets $started to its process.
start_sim() {
    local com=$1 fifo pty
    shift
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    build/default/korvex-sim "$@" >"$fifo" &
    started=$!
    read -r _ pty <"$fifo"
    rm -f "$fifo"
    ln -sfn "$pty" "$WINEPREFIX/dosdevices/${com,,}"
    echo "$com is $pty"
}
