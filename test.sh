#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Korvex and runs the whole test suite (developer preset). The GUI tests run in
# real windows under a virtual X server, clicked through the window system.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp" \
    env QT_QPA_PLATFORM=xcb ctest --preset default -j"$(nproc)"
