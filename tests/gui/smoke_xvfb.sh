#!/usr/bin/env bash
# Runs the real program under Xvfb on a copy of the sample drug file and checks that its
# main window appears at the screen's top-left corner with the right caption and size, and
# that 退出 ends it at once while the keypad is open.
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

    # 查找 opens the keypad; 退出 then ends the program at once, the keypad still open.
    xdotool mousemove 536 551 click 1
    timeout 10 xdotool search --sync --onlyvisible --name '^字母查询器$' >/dev/null
    xdotool mousemove 712 586 click 1
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "退出 did not end the program" >&2
        exit 1
    fi
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || { echo "exit status $status" >&2; exit 1; }
    echo "退出 ended the program with the keypad open"
    exit 0
fi

program="$1"
database="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$program" "$database" "$work/"
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside-xvfb "$work/$(basename "$program")"
