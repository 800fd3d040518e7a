#!/usr/bin/env bash
# Installs into a fresh folder and checks the portable layout; a second install keeps the
# drug file that is there.
set -euo pipefail
source "$(dirname "$0")/support/require.sh"
require desktop-file-validate gio
build="$1"
prefix="$(mktemp -d)/西药 手册"
trap 'rm -rf "$(dirname "$prefix")"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in xiyao xiyao-db xiyao-printing.so qintabo.m xiyao.desktop xiyao.png; do
    [ -e "$prefix/$file" ] || { echo "missing $file" >&2; exit 1; }
done
desktop-file-validate "$prefix/xiyao.desktop"
grep -qF "Exec=\"$prefix/xiyao\"" "$prefix/xiyao.desktop" || { echo "wrong Exec line" >&2; exit 1; }
"$prefix/xiyao-db" check "$prefix/qintabo.m" | grep -q '药品数：' || { echo "no drugs" >&2; exit 1; }

# Only what the user needs: the build's own helpers stay in the sources.
for file in sample/MakeSampleDatabase.cmake desktop/xiyao.desktop.in; do
    [ ! -e "$prefix/$file" ] || { echo "build-only $file installed" >&2; exit 1; }
done

# Moved elsewhere (a name the desktop entry must quote and escape), the program writes a
# menu entry with its new paths, without a display.
moved="$(dirname "$prefix")/移走 \"100%\" \$HOME"
mv "$prefix" "$moved"
data="$(dirname "$prefix")/data"
env -u DISPLAY -u WAYLAND_DISPLAY XDG_DATA_HOME="$data" "$moved/xiyao" --install-desktop-entry >/dev/null
entry="$data/applications/xiyao.desktop"
desktop-file-validate "$entry"
grep -qF 'Exec=sh -c "exec \\"\\$0\\"" "'"$(dirname "$prefix")"'/移走 \\"100%%\\" \\$HOME/xiyao"' "$entry" ||
    { echo "wrong Exec line:" >&2; cat "$entry" >&2; exit 1; }
grep -qxF "Icon=$moved/xiyao.png" "$entry" || { echo "wrong Icon line" >&2; exit 1; }
# GLib's menus (gio launch) start that entry: a stand-in for the program says it was started.
mv "$moved/xiyao" "$moved/xiyao.real"
printf '#!/bin/sh\ntouch "$(dirname "$0")/started"\n' >"$moved/xiyao"
chmod +x "$moved/xiyao"
gio launch "$entry" || { echo "gio launch refused the entry" >&2; exit 1; }
for _ in $(seq 50); do [ -e "$moved/started" ] && break; sleep 0.1; done
[ -e "$moved/started" ] || { echo "gio launch did not start the program" >&2; exit 1; }
rm "$moved/started"
mv "$moved/xiyao.real" "$moved/xiyao"
mv "$moved" "$prefix"

# Relative folders, given from another working folder, are written as absolute paths: a menu
# starts the entry from a folder of its own.
here="$(dirname "$prefix")/here"
mkdir "$here"
for run in "$here|apps|../西药 手册" "$prefix|../here/apps|."; do
    IFS='|' read -r from apps program <<<"$run"
    (cd "$from" && env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/xiyao" --install-desktop-entry "$apps" "$program") >/dev/null
    entry="$here/apps/xiyao.desktop"
    desktop-file-validate "$entry"
    for line in "Exec=\"$prefix/xiyao\"" "Path=$prefix" "Icon=$prefix/xiyao.png"; do
        grep -qxF "$line" "$entry" || { echo "from $from, no line $line:" >&2; cat "$entry" >&2; exit 1; }
    done
    rm "$entry"
done
# A folder without the program gets no entry, and the command says why.
for program in . missing; do
    if (cd "$here" && "$prefix/xiyao" --install-desktop-entry apps "$program") >"$here/out" 2>"$here/err"; then
        echo "an entry for $program, which has no program" >&2
        exit 1
    fi
    grep -q '没有可执行的程序' "$here/err" || { echo "no reason given for $program:" >&2; cat "$here/err" >&2; exit 1; }
    [ ! -s "$here/out" ] && [ ! -e "$here/apps/xiyao.desktop" ] || { echo "an entry written for $program" >&2; exit 1; }
done

# A staged install (DESTDIR) names the folder the program is installed to, where it is not yet.
stage="$(dirname "$prefix")/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /opt/xiyao-staged >/dev/null
grep -qxF 'Exec="/opt/xiyao-staged/xiyao"' "$stage/opt/xiyao-staged/xiyao.desktop" ||
    { echo "wrong staged Exec line" >&2; exit 1; }

# The user's own drug file survives a second install.
printf '中文名\r\n用户自己的药\r\n' >"$prefix/mine.csv"
"$prefix/xiyao-db" import "$prefix/qintabo.m" "$prefix/mine.csv" 2>/dev/null
before="$(sha256sum <"$prefix/qintabo.m")"
cmake --install "$build" --prefix "$prefix" >/dev/null
[ "$before" = "$(sha256sum <"$prefix/qintabo.m")" ] || { echo "the drug file was overwritten" >&2; exit 1; }
echo "portable folder laid out; a moved folder writes its menu entry, relative folders as absolute;"
echo "a staged install names its final folder; drug file kept on reinstall"
