#!/usr/bin/env bash
# Starts the real program under Xvfb from two copies of the program folder and checks that a
# second start for the same drug file brings the running window to the front and ends with
# status 0, saying so, while a copy in another folder runs beside it; and that after the first
# program is killed the next start opens its window.
#   single_instance_xvfb.sh PROGRAM DRUG_FILE
set -euo pipefail
source "$(dirname "$0")/xvfb_lib.sh"

if [ "${1:-}" = "--inside-xvfb" ]; then
    program="$2"
    beside_program="$3"
    work="$(dirname "$(dirname "$program")")"
    pids=()
    trap 'kill -9 "${pids[@]}" 2>/dev/null || true' EXIT

    # main_window PID: PID's main window, once it is shown.
    main_window() {
        timeout 20 xdotool search --sync --all --onlyvisible --pid "$1" --name '^西药手册$' | head -n 1
    }
    main_windows() {
        xdotool search --onlyvisible --name '^西药手册$' | wc -l
    }
    # in_front: the window on top at (100, 100), where both main windows lie. (Not the focus:
    # Xvfb runs no window manager, and the X server refuses a focus request that carries an
    # older time than the last change of focus, as one from a program the user did not touch does.)
    in_front() {
        xdotool mousemove 100 100 getmouselocation --shell | sed -n 's/^WINDOW=//p'
    }
    # in_front_when WANT: in_front once it is WANT, or after five seconds whatever it is then.
    in_front_when() {
        local now
        for _ in $(seq 50); do
            now="$(in_front)"
            [ "$now" != "$1" ] || break
            sleep 0.1
        done
        echo "$now"
    }
    # start_again: runs the program for the running one's file; sets STATUS, OUT and ERR.
    start_again() {
        STATUS=0
        timeout 20 "$program" >"$work/out" 2>"$work/err" || STATUS=$?
        OUT="$(cat "$work/out")"
        ERR="$(cat "$work/err")"
    }
    fail() {
        echo "$1" >&2
        exit 1
    }

    "$program" &
    first=$!
    pids+=("$first")
    first_window="$(main_window "$first")"
    "$beside_program" &
    beside=$!
    pids+=("$beside")
    beside_window="$(main_window "$beside")"
    [ "$(main_windows)" -eq 2 ] || fail "a copy in another folder did not open its own window"
    echo "a copy in another folder runs beside the first"

    # The copy beside is in front; a second start for the first's file brings the first forward.
    xdotool windowraise "$beside_window"
    [ "$(in_front_when "$beside_window")" = "$beside_window" ] || fail "could not raise the copy beside"
    start_again
    [ "$STATUS" -eq 0 ] || fail "second start: exit status $STATUS, stderr: $ERR"
    grep -q '已在运行' <<<"$OUT" || fail "second start said: $OUT"
    [ "$(in_front_when "$first_window")" = "$first_window" ] || fail "the first window is not in front"
    [ "$(main_windows)" -eq 2 ] || fail "the second start left $(main_windows) main windows, not 2"
    kill -0 "$first" 2>/dev/null || fail "the first program ended"
    echo "second start: status 0, \"$OUT\", the first window in front, no window more"

    # A killed program leaves nothing behind that stops the next start. (One that does not
    # answer is tst_singleinstance's: it takes the answer's whole wait.)
    kill -9 "$first"
    wait "$first" 2>/dev/null || true
    "$program" &
    next=$!
    pids+=("$next")
    main_window "$next" >/dev/null
    [ "$(main_windows)" -eq 2 ] || fail "after the kill: $(main_windows) main windows, not 2"
    kill -0 "$beside" 2>/dev/null || fail "the copy beside ended"
    echo "after the first was killed, the next start opened its window beside the copy"
    exit 0
fi

program="$1"
database="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/first" "$work/beside"
cp "$program" "$database" "$work/first/"
cp "$program" "$database" "$work/beside/"
name="$(basename "$program")"
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside-xvfb "$work/first/$name" "$work/beside/$name"
