#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows zip as a user runs it: unpacked into a folder whose name has blanks and
# Cyrillic letters, korvex.exe started under Wine on a virtual X server with a window
# manager, and every mode of the start dialog clicked with the mouse (xdotool, real X
# input) against the simulated regulator on COM7, in English and under a Russian locale:
# the oscilloscope records under DATA beside the program and its plot moves; SELVO's ENT
# changes the regulator's menu; Exit returns to the start dialog; the fault recorder lists
# and reads a recording and starts korvex-view.exe on it; Diary and Parameters writes the
# report and opens it in Notepad. Then the viewer on a file with blanks and Cyrillic
# letters in its name, and the programs without their window module or a Qt DLL.
# Where to click comes from the programs themselves (KORVEX_WIDGET_MAP).
#
#   scripts/windows-gui-check.sh ZIP [--docs]   --docs also copies the pictures of the
#                                               windows into docs/windows/
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 ZIP [--docs]" >&2; exit 2; }
zip=$(realpath "$1")
docs=${2:-}
if [ -z "${KORVEX_WGUI_INNER:-}" ]; then
    exec env KORVEX_WGUI_INNER=1 xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp" \
        "$(realpath "$0")" "$zip" "$docs"
fi
cd "$(dirname "$0")/.."
source scripts/wine-env.sh
work="$PWD/$out/gui-check"
rm -rf "$work"
mkdir -p "$work/shots"

openbox >/dev/null 2>&1 &
wm=$!
sim=""
cleanup() {
    local status=$?
    if [ $status -ne 0 ]; then
        # What the programs showed when it failed.
        import -window root "$work/failed.png" 2>/dev/null || true
        for m in "$work"/map-*/*.map; do [ -f "$m" ] && { echo "-- $m"; cat "$m"; }; done >&2
    fi
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    wine_stop
    kill $wm 2>/dev/null || true
    exit $status
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done
wine_start

fail() {
    echo "windows-gui-check: $*" >&2
    exit 1
}

# The widget map of a program: "window" and "widget" lines (src/gui/WidgetMap.h).
map=""
map_of() { cat "$map/$1.map" 2>/dev/null || true; }
# The line of widget NAME in window WINDOW of PROGRAM, empty while there is none.
widget_line() { map_of "$1" | awk -F'\t' -v w="$2" -v n="$3" '$1 == "widget" && $2 == w && $3 == n'; }
window_line() { map_of "$1" | awk -F'\t' -v w="$2" '$1 == "window" && $2 == w'; }
# Waits up to SECONDS for a command to succeed (the programs answer in their own time;
# the limit only ends a hung run).
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local end=$((SECONDS + seconds))
    until "$@"; do
        [ $SECONDS -lt $end ] || fail "$what: nothing after ${seconds} s"
        sleep 0.1
    done
}
has_widget() { [ -n "$(widget_line "$@")" ]; }
ended() { ! kill -0 "$pid" 2>/dev/null; }
has_window() { [ -n "$(window_line "$@")" ]; }
no_window() { [ -z "$(window_line "$@")" ]; }
text_of() { widget_line "$@" | cut -f5; }
# A real click in the middle of a widget (x y w h in the map's fourth field).
click() {
    local r
    r=$(widget_line "$@" | cut -f4)
    [ -n "$r" ] || fail "no widget $3 in $1's $2"
    read -r x y w h <<<"$r"
    xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
}
# A real click inside a window's own margin, where no widget is: gives it the keyboard.
focus() {
    local r
    r=$(window_line "$1" "$2" | cut -f3)
    [ -n "$r" ] || fail "no window $2 of $1"
    read -r x y w h <<<"$r"
    xdotool mousemove --sync $((x + w - 4)) $((y + h - 4)) click 1
}
# A picture of a window or of a widget in it, cut from the screen.
shot() { # program window [widget] file
    local r
    if [ $# -eq 4 ]; then r=$(widget_line "$1" "$2" "$3" | cut -f4); else r=$(window_line "$1" "$2" | cut -f3); fi
    [ -n "$r" ] || fail "nothing to take a picture of: $*"
    read -r x y w h <<<"$r"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "${!#}"
}

start_sim COM7
sim=$started
pid=""

for lang in en ru; do
    echo
    echo "== korvex.exe from the zip, LANG=$lang"
    [ $lang = ru ] && locale=ru_RU.UTF-8 || locale=en_US.UTF-8
    top="$work/Korvex пробный $lang"
    mkdir -p "$top"
    (cd "$top" && cmake -E tar xf "$zip")
    dir=$(echo "$top"/korvex-*-windows-x86_64)
    # Korvex.cfg beside the program chooses the port.
    printf 'COM=7\r\n' >"$dir/Korvex.cfg"
    map="$work/map-$lang"
    mkdir -p "$map"
    # The start directory is not the program's: DATA and Korvex.cfg must be found beside
    # the program all the same.
    (cd "$work" && LANG=$locale LC_ALL=$locale KORVEX_WIDGET_MAP="$(winepath -w "$map")" \
        wine "$dir/korvex.exe" >"$work/korvex-$lang.log" 2>&1) &
    pid=$!
    wait_for 60 "the start dialog" has_widget korvex StartDialog oscilloscope
    [ "$(text_of korvex StartDialog ports)" = COM7 ] || fail "COM7 is not preselected from Korvex.cfg"
    if [ $lang = ru ]; then want="Осциллограф"; else want="Oscilloscope"; fi
    [ "$(text_of korvex StartDialog oscilloscope)" = "$want" ] || fail "the start dialog is not in the $lang language"
    shot korvex StartDialog "$work/shots/start-$lang.png"

    echo "-- Oscilloscope: rows under DATA beside the program, a moving plot"
    click korvex StartDialog oscilloscope
    wait_for 30 "the live window" has_widget korvex LiveWindow graph
    moving() { compgen -G "$dir/DATA/*/*_osc.trd" >/dev/null; }
    wait_for 30 "a recording under DATA beside the program" moving
    osc_file=$(ls -t "$dir"/DATA/*/*_osc.trd | head -n 1)
    rows_at() { grep -vc '^#' "$osc_file" || true; }
    first=$(rows_at)
    shot korvex LiveWindow graph "$work/shots/graph-1.png"
    grew() { [ "$(rows_at)" -ge $((first + 50)) ]; }
    wait_for 30 "50 more rows" grew
    shot korvex LiveWindow graph "$work/shots/graph-2.png"
    # Pixels compared, not files: a PNG carries the time it was written.
    moved=$(compare -metric AE "$work/shots/graph-1.png" "$work/shots/graph-2.png" null: 2>&1 || true)
    [ "$moved" != 0 ] || fail "the plot did not move"
    echo "   $moved pixels changed"
    shot korvex LiveWindow "$work/shots/live-$lang.png"

    echo "-- SELVO: ENT changes the regulator's menu"
    click korvex LiveWindow selvo
    wait_for 30 "the SELVO panel" has_widget korvex selvoPanel key_ENT
    shown() { [ -n "$(text_of korvex selvoPanel display | tr -d ' ')" ]; }
    wait_for 30 "the panel's display" shown
    before=$(text_of korvex selvoPanel display)
    # The regulator's first screen asks for ENT; ENT opens its menu.
    [[ $before == *"ENT - menu"* ]] || fail "the panel does not show the regulator's first screen: '$before'"
    click korvex selvoPanel key_ENT
    changed() {
        local now
        now=$(text_of korvex selvoPanel display)
        [[ $now != *"ENT - menu"* && $now == *"1 Measurements"* ]]
    }
    wait_for 30 "the regulator's menu after ENT" changed
    shot korvex selvoPanel "$work/shots/selvo-$lang.png"
    echo "   '$before' -> '$(text_of korvex selvoPanel display)'"

    echo "-- Exit: back to the start dialog"
    click korvex LiveWindow exit
    wait_for 30 "the live window to close" no_window korvex LiveWindow
    wait_for 30 "the start dialog again" has_window korvex StartDialog
    scripts/check-recording.sh "$osc_file"

    echo "-- Emergency Recorder: the list, a reading, the viewer on it"
    click korvex StartDialog recorder
    wait_for 60 "the recorder's list" has_widget korvex recorder 'list#0'
    shot korvex recorder "$work/shots/recorder-$lang.png"
    click korvex recorder 'list#0'
    click korvex recorder read
    view_map() { grep -q $'^window\tviewer\t.*\\.trd' "$map/korvex-view.map" 2>/dev/null; }
    wait_for 120 "korvex-view.exe on the recording read" view_map
    rec_file=$(ls -t "$dir"/DATA/*/*.trd | grep -v '_osc\.trd$' | head -n 1)
    grep -q "$(basename "$rec_file")" "$map/korvex-view.map" || fail "the viewer shows another file"
    loaded() { [ -n "$(text_of korvex-view viewer infoText)" ]; }
    wait_for 30 "the viewer's recording" loaded
    shot korvex-view viewer "$work/shots/viewer-$lang.png"
    pkill -f 'korvex-view\.exe' || true
    # The recorder's dialog closes with Escape, as every dialog does.
    focus korvex recorder
    xdotool key Escape
    wait_for 30 "the recorder to close" no_window korvex recorder
    # The same recording read by the Linux build, byte for byte.
    lin_file=$(KORVEX_DATA_DIR="$work/linux-$lang" build/default/korvex-cli recorder \
               --port "$(readlink "$WINEPREFIX/dosdevices/com7")" read 1)
    cmp "$rec_file" "$lin_file" || fail "the recording read differs from the Linux build's"
    echo "   $(grep -vc '^#' "$rec_file") rows, byte for byte as read by the Linux build"

    echo "-- Diary and Parameters: the report, opened in Notepad"
    click korvex StartDialog diary
    report() { compgen -G "$dir/DATA/*/*.txt" >/dev/null; }
    wait_for 120 "the report under DATA" report
    notepad() { pgrep -f 'notepad\.exe' >/dev/null; }
    wait_for 60 "Notepad" notepad
    report_file=$(ls -t "$dir"/DATA/*/*.txt | head -n 1)
    pgrep -af 'notepad\.exe' | grep -q "$(basename "$report_file")" || fail "Notepad shows another file"
    # (The window is found by the name's part before its "(", which a pattern would take.)
    report_name=$(basename "$report_file")
    notepad_window() { xdotool search --name "${report_name%%(*}" >/dev/null 2>&1; }
    wait_for 30 "Notepad's window" notepad_window
    pkill -f 'notepad\.exe' || true
    [ -s "$report_file" ] || fail "the report is empty"

    # The start dialog closes with Escape; the program ends.
    focus korvex StartDialog
    xdotool key Escape
    wait_for 30 "korvex.exe to end" ended
    status=0
    wait "$pid" || status=$?
    [ $status -eq 0 ] || fail "korvex.exe ended with status $status"
    pid=""
done

echo
echo "== korvex-view.exe on a file with blanks and Cyrillic letters in its name"
named="$work/Korvex пробный en/запись № 1.trd"
cp "$rec_file" "$named"
map="$work/map-named"
mkdir -p "$map"
KORVEX_WIDGET_MAP="$(winepath -w "$map")" wine "$dir/korvex-view.exe" "$(winepath -w "$named")" \
    >"$work/view-named.log" 2>&1 &
pid=$!
titled() { grep -q $'^window\tviewer\t.*запись № 1\\.trd' "$map/korvex-view.map" 2>/dev/null; }
wait_for 60 "the viewer titled with the file's name" titled
wait_for 30 "the viewer's recording" loaded
pkill -f 'korvex-view\.exe' || true
wait $pid 2>/dev/null || true

echo
echo "== Without the window module: a message, status 1"
bare="$work/без модуля"
cp -r "$dir" "$bare"
rm "$bare/platforms/qwindows.dll"
wine "$bare/korvex.exe" >"$work/bare.log" 2>&1 &
pid=$!
said() { grep -q 'platforms\\qwindows.dll' "$work/bare.log"; }
wait_for 60 "the message about the window module" said
# The message box is Windows' own: taken with Enter.
box() { xdotool search --name '^Korvex$' >/dev/null 2>&1; }
wait_for 30 "the message box" box
xdotool windowactivate --sync "$(xdotool search --name '^Korvex$' | head -n 1)" key Return
wait_for 30 "korvex.exe to end after the message" ended
status=0
wait "$pid" || status=$?
[ $status -eq 1 ] || fail "korvex.exe without its window module ended with status $status, not 1"
cat "$work/bare.log"

echo
echo "== Without Qt6Widgets.dll: Windows' loader refuses the program"
# Windows shows its own box naming the DLL ("The code execution cannot proceed because
# Qt6Widgets.dll was not found"); Wine shows none and writes it to standard error.
rm -rf "$bare"
cp -r "$dir" "$bare"
rm "$bare/Qt6Widgets.dll"
status=0
WINEDEBUG=err+module timeout 120 setarch -R wine "$bare/korvex-view.exe" >"$work/nodll.log" 2>&1 ||
    status=$?
grep -q 'Qt6Widgets.dll' "$work/nodll.log" || fail "the loader did not name Qt6Widgets.dll"
[ $status -ne 0 ] || fail "korvex-view.exe without Qt6Widgets.dll ended with status 0"
echo "status $status: $(grep -m1 'Qt6Widgets.dll' "$work/nodll.log")"

if [ "$docs" = --docs ]; then
    mkdir -p docs/windows
    cp "$work"/shots/{start,live,selvo,recorder,viewer}-*.png docs/windows/
fi
echo "windows-gui-check: passed"
