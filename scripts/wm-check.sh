#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The GUI tests under a window manager (openbox) on a virtual X server: windows get
# their frames, positions and stacking from it after show(), as on a user's desktop,
# which a bare X server does not do. The screen is wide enough for a panel beside the
# live window wherever the manager puts it. Expects a build of the default preset
# (test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --wm

if [ -z "${KORVEX_WM_INNER:-}" ]; then
    exec env KORVEX_WM_INNER=1 xvfb-run -a -s "-screen 0 2400x1200x24 -nolisten tcp" "$0" "$@"
fi
openbox >/dev/null 2>&1 &
wm=$!
trap 'kill $wm 2>/dev/null || true' EXIT
# The manager announces itself on the root window once it runs.
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' ||
    { echo "wm-check: openbox did not start" >&2; exit 1; }
QT_QPA_PLATFORM=xcb ctest --preset default -j"$(nproc)" -L gui "$@"
