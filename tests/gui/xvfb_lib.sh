# Shared by the Xvfb tests that drive the real program; sourced, not run. The program gets a
# real X display, whatever platform the caller's environment names, and the test is skipped
# when the tools it drives the display with are missing.
export QT_QPA_PLATFORM=xcb
source "$(dirname "${BASH_SOURCE[0]}")/../support/require.sh"
require xvfb-run Xvfb xdotool xwininfo

# end_status PID WHY: waits up to five seconds for the program PID to end and sets
# END_STATUS to its exit status; when it goes on running, fails with WHY.
end_status() {
    local pid="$1" why="$2"
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "$why" >&2
        exit 1
    fi
    END_STATUS=0
    wait "$pid" || END_STATUS=$?
}
