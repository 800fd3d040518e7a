#!/usr/bin/env bash
# Runs the real program under Xvfb on a copy of the sample drug file and checks that its
# main window appears at the screen's top-left corner with the right caption and size.
set -euo pipefail

if [ "${1:-}" = "--inside-xvfb" ]; then
    "$2" &
    pid=$!
    trap 'kill "$pid" 2>/dev/null || true' EXIT
    window="$(timeout 20 xdotool search --sync --onlyvisible --name '^西药手册$' | head -n 1)"
    info="$(xwininfo -id "$window")"
    for expected in 'Width: 778' 'Height: 633' 'Absolute upper-left X:  0' 'Absolute upper-left Y:  0'; do
        if ! grep -q "$expected" <<<"$info"; then
            echo "expected '$expected' in:$info" >&2
            exit 1
        fi
    done
    echo "main window 西药手册 778x633 at (0, 0)"
    exit 0
fi

program="$1"
database="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$program" "$database" "$work/"
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside-xvfb "$work/$(basename "$program")"
