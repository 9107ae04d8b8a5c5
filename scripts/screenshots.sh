#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots for README.md: real windows under a virtual X server (Xvfb), on the
# simulated regulator. Writes docs/*.png, and docs/ru/*.png for the Russian guide.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target korvex korvex-view korvex-cli korvex-sim >/dev/null
mkdir -p docs/ru

# Xvfb picks a free display and writes its number once it is ready to take clients.
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$fifo" &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -f "$fifo"' EXIT
read -r display <"$fifo"
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
unset LANGUAGE LC_MESSAGES
data=$(mktemp -d)
export KORVEX_DATA_DIR="$data"

LC_ALL=en_US.UTF-8 KORVEX_SCREENSHOT=docs/start-dialog-en.png build/default/korvex --simulate
LC_ALL=ru_RU.UTF-8 KORVEX_SCREENSHOT=docs/start-dialog-ru.png build/default/korvex --simulate
LC_ALL=en_US.UTF-8 KORVEX_SCREENSHOT=docs/live-window.png KORVEX_SCREENSHOT_PANEL=docs/selvo-panel.png \
    KORVEX_SCREENSHOT_DELAY_MS=9000 build/default/korvex --simulate --osc
LC_ALL=ru_RU.UTF-8 KORVEX_SCREENSHOT=docs/ru/live-window.png \
    KORVEX_SCREENSHOT_PANEL=docs/ru/selvo-panel.png KORVEX_SCREENSHOT_DELAY_MS=9000 \
    build/default/korvex --simulate --osc
LC_ALL=en_US.UTF-8 KORVEX_SCREENSHOT=docs/recorder.png KORVEX_SCREENSHOT_READ=2 \
    KORVEX_SCREENSHOT_DELAY_MS=2400 build/default/korvex --simulate --recorder
LC_ALL=ru_RU.UTF-8 KORVEX_SCREENSHOT=docs/ru/recorder.png KORVEX_SCREENSHOT_READ=2 \
    KORVEX_SCREENSHOT_DELAY_MS=2400 build/default/korvex --simulate --recorder
LC_ALL=ru_RU.UTF-8 KORVEX_SCREENSHOT=docs/report-window.png KORVEX_SCREENSHOT_DELAY_MS=800 \
    build/default/korvex --simulate --diary
# The viewer on the simulated regulator's second fault recording, cursors around the dip.
simfifo="$data/sim.fifo"
mkfifo "$simfifo"
build/default/korvex-sim >"$simfifo" &
sim=$!
read -r _ port <"$simfifo"
recording=$(build/default/korvex-cli --lang en recorder --port "$port" --baud 230400 read 2)
kill $sim
wait $sim 2>/dev/null || true
LC_ALL=en_US.UTF-8 KORVEX_SCREENSHOT=docs/viewer.png KORVEX_SCREENSHOT_CURSORS=1.9,3.5 \
    build/default/korvex-view "$recording"
LC_ALL=ru_RU.UTF-8 KORVEX_SCREENSHOT=docs/ru/viewer.png KORVEX_SCREENSHOT_CURSORS=1.9,3.5 \
    build/default/korvex-view "$recording"
rm -rf "$data"
ls -l docs/*.png docs/ru/*.png
