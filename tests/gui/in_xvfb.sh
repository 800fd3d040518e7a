#!/usr/bin/env bash
# in_xvfb.sh PROGRAM ARGS...: runs a test program on a fresh Xvfb display.
set -euo pipefail
source "$(dirname "$0")/../support/require.sh"
require xvfb-run Xvfb
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
