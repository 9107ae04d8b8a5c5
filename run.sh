#!/usr/bin/env bash
# Builds Korvex and runs its main job. With no port named, a simulated regulator is
# started on a pseudo-terminal and used instead of a real one.
#
#   ./run.sh                  use the built-in simulated regulator
#   ./run.sh --port /dev/ttyUSB0   use a real regulator on that port
set -euo pipefail
cd "$(dirname "$0")"

port=""
while [ $# -gt 0 ]; do
    case "$1" in
        --port) port="$2"; shift 2 ;;
        -h|--help) sed -n '2,7p' "$0"; exit 0 ;;
        *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target korvex-cli korvex-sim >/dev/null
bin=build/default

if [ -z "$port" ]; then
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    "$bin/korvex-sim" --verbose >"$fifo" &
    sim=$!
    trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$fifo"' EXIT
    read -r _ port <"$fifo"
    echo "Simulated regulator on $port"
fi

echo
echo "== Serial ports"
"$bin/korvex-cli" ports "$port" || true

echo
echo "== Ten seconds of the oscilloscope at 166.7 Hz (Ctrl-C stops earlier)"
file=$("$bin/korvex-cli" osc --port "$port" --rate 166 --seconds 10)

echo
echo "== The recording, read back as the viewer window reads it"
"$bin/korvex-cli" view "$file"
