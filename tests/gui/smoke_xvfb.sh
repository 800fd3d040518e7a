#!/usr/bin/env bash
# Runs the real program under Xvfb on a copy of the sample drug file and checks that its
# main window appears at the screen's top-left corner with the right caption and size, that
# fast drags move the main window and the keypad by exactly the pointer's travel, and that
# 退出 ends the program at once while the keypad is open, and that without a display it says
# so in Chinese.
set -euo pipefail
source "$(dirname "$0")/xvfb_lib.sh"

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

    place() {
        xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 } END { print x, y }'
    }
    # place_when ID WANT: the window's place once it is WANT ("X Y"), or after five seconds
    # whatever it is then. A place reached on the way is not taken for the end: the window must
    # still be there a moment later.
    place_when() {
        local now
        for _ in $(seq 100); do
            now="$(place "$1")"
            if [ "$now" = "$2" ]; then
                sleep 0.2
                now="$(place "$1")"
                [ "$now" != "$2" ] || break
            fi
            sleep 0.05
        done
        echo "$now"
    }
    # drag NAME WINDOW FROM_X FROM_Y GRIP_X GRIP_Y STEPS STEP_X STEP_Y: with the window at FROM,
    # presses at the grip (relative to the window), moves the pointer STEPS times by
    # (STEP_X, STEP_Y) as fast as xdotool can and releases; the window must have moved by
    # exactly the pointer's travel. Sets DRAGGED_TO to where it ended.
    drag() {
        local name="$1" id="$2" x="$3" y="$4" grip_x="$5" grip_y="$6" steps="$7" step_x="$8" step_y="$9" end_x end_y
        read -r end_x end_y <<<"$(place_when "$id" "$x $y")"
        if [ "$end_x $end_y" != "$x $y" ]; then
            echo "$name is at ($end_x, $end_y) before its drag, not ($x, $y)" >&2
            exit 1
        fi
        local args=(mousemove $((x + grip_x)) $((y + grip_y)) mousedown 1)
        for _ in $(seq "$steps"); do
            args+=(mousemove_relative -- "$step_x" "$step_y")
        done
        args+=(mouseup 1)
        xdotool "${args[@]}"
        local want_x=$((x + steps * step_x)) want_y=$((y + steps * step_y))
        read -r end_x end_y <<<"$(place_when "$id" "$want_x $want_y")"
        if [ "$end_x $end_y" != "$want_x $want_y" ]; then
            echo "$name dragged by ($((steps * step_x)), $((steps * step_y))) from ($x, $y)" \
                "ended at ($end_x, $end_y), not ($want_x, $want_y)" >&2
            exit 1
        fi
        DRAGGED_TO="$end_x $end_y"
        echo "$name dragged from ($x, $y) to ($end_x, $end_y)"
    }

    # The main window by its background above the list's frame, and back to (0, 0).
    drag 西药手册 "$window" 0 0 10 10 5 20 10
    drag 西药手册 "$window" $DRAGGED_TO 10 10 5 40 -6
    drag 西药手册 "$window" $DRAGGED_TO 10 10 10 -15 12
    drag 西药手册 "$window" $DRAGGED_TO 10 10 5 -30 -28

    # 查找 opens the keypad at (320, 432); drag it by its background outside the letter grid.
    xdotool mousemove --window "$window" 536 551 click 1
    keypad="$(timeout 10 xdotool search --sync --onlyvisible --name '^字母查询器$' | head -n 1)"
    drag 字母查询器 "$keypad" 320 432 4 4 5 20 10
    drag 字母查询器 "$keypad" $DRAGGED_TO 4 4 5 50 -40
    drag 字母查询器 "$keypad" $DRAGGED_TO 4 4 10 -30 15

    # 退出 then ends the program at once, the keypad still open (and clear of 退出).
    xdotool mousemove --window "$window" 712 586 click 1
    end_status "$pid" "退出 did not end the program"
    [ "$END_STATUS" -eq 0 ] || { echo "exit status $END_STATUS" >&2; exit 1; }
    echo "退出 ended the program with the keypad open"
    exit 0
fi

program="$1"
database="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$program" "$database" "$work/"

# Without any display: a Chinese message and exit status 1, not Qt's English abort.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$work/$(basename "$program")" 2>"$work/no-display" || status=$?
if [ "$status" -ne 1 ] || ! grep -q '需要图形界面' "$work/no-display"; then
    echo "without a display: exit status $status, stderr:" >&2
    cat "$work/no-display" >&2
    exit 1
fi
echo "without a display: Chinese message, exit status 1"

xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside-xvfb "$work/$(basename "$program")"
