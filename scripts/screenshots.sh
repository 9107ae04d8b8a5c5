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
# The Analysis panel on a step test: Ug steps by 5 % at 2 s, P swings at 1.1 Hz after it.
steptest="$data/step-test.trd"
awk 'BEGIN {
    srand(1); pi = atan2(0, -1); z = 0.4; wn = 6; wd = wn * sqrt(1 - z * z)
    printf "#CHAN=2\r\n#NAME=Ug P\r\n#F=250.000000\r\n#XX=0,0.004000\r\n"
    for (i = 0; i < 5000; i++) {
        t = i / 250 - 2; u = 100; p = 300
        if (t > 0) {
            u += 5 * (1 - exp(-z * wn * t) * (cos(wd * t) + z / sqrt(1 - z * z) * sin(wd * t)))
            p += 20 * exp(-0.08 * 2 * pi * 1.1 * t) * cos(2 * pi * 1.1 * t)
        }
        printf "%.4f\t%.4f\t\r\n", u + 0.03 * (rand() - 0.5), p + 0.4 * (rand() - 0.5)
    }
}' >"$steptest"
LC_ALL=en_US.UTF-8 KORVEX_SCREENSHOT=docs/analysis-step.png KORVEX_SCREENSHOT_CURSORS=1,12 \
    KORVEX_SCREENSHOT_ANALYSIS=step KORVEX_SCREENSHOT_CHANNEL=1 \
    KORVEX_SCREENSHOT_REPORT="$data/report.pdf" build/default/korvex-view "$steptest"
LC_ALL=ru_RU.UTF-8 KORVEX_SCREENSHOT=docs/ru/analysis-step.png KORVEX_SCREENSHOT_CURSORS=1,12 \
    KORVEX_SCREENSHOT_ANALYSIS=step KORVEX_SCREENSHOT_CHANNEL=1 build/default/korvex-view "$steptest"
# The report's page as a picture, where Ghostscript is at hand.
if command -v gs >/dev/null; then
    gs -q -sDEVICE=png16m -r70 -o docs/test-report.png "$data/report.pdf"
fi
rm -rf "$data"
ls -l docs/*.png docs/ru/*.png
