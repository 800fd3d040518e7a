#!/usr/bin/env bash
# Runs the real program under Xvfb with the C library's code page 936 converter taken away
# (a preloaded shim) and checks that it says why in Chinese, on stderr and in a message box,
# shows no main window, and exits non-zero once the message is closed.
#   no_converter_xvfb.sh PROGRAM DRUG_FILE SHIM
set -euo pipefail
source "$(dirname "$0")/xvfb_lib.sh"

if [ "${1:-}" = "--inside-xvfb" ]; then
    program="$2"
    shim="$3"
    err="$(dirname "$program")/stderr"
    LD_PRELOAD="$shim" "$program" 2>"$err" &
    pid=$!
    trap 'kill "$pid" 2>/dev/null || true' EXIT
    window="$(timeout 20 xdotool search --sync --onlyvisible --name '^西药手册$' | head -n 1)"
    sleep 0.5 # a main window, were there one, would be up by now
    windows="$(xdotool search --onlyvisible --name '^西药手册$' | wc -l)"
    info="$(xwininfo -id "$window")"
    if [ "$windows" -ne 1 ] || grep -q 'Width: 778' <<<"$info"; then
        echo "expected only a message box, found $windows window(s):$info" >&2
        exit 1
    fi
    grep -q '字符转换器' "$err" || { echo "no Chinese reason on stderr:" >&2; cat "$err" >&2; exit 1; }
    xdotool windowfocus --sync "$window" key Return
    end_status "$pid" "the program did not end after its message was closed"
    if [ "$END_STATUS" -eq 0 ]; then
        echo "the program went on without the converter (exit status 0)" >&2
        exit 1
    fi
    echo "without the converter: message box, no main window, exit status $END_STATUS"
    exit 0
fi

program="$1"
database="$2"
shim="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$program" "$database" "$work/"
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside-xvfb "$work/$(basename "$program")" "$shim"
