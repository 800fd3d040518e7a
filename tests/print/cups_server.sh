#!/usr/bin/env bash
# A private CUPS server for the print tests, touching none of the machine's printers:
#   cups_server.sh start DIR   starts cupsd in DIR with a raw default queue "xiyao-test" whose
#                              backend copies every job into DIR/out, a queue "xiyao-refusing"
#                              that rejects jobs and a stopped queue "xiyao-paused" with the
#                              message "纸已用完"; prints the socket path
#   cups_server.sh stop DIR    stops it
set -euo pipefail
command="$1"
dir="$(realpath -m "$2")"
socket="$dir/cups.sock"

if [ "$command" = stop ]; then
    if [ -f "$dir/cupsd.pid" ]; then
        kill "$(cat "$dir/cupsd.pid")" 2>/dev/null || true
    fi
    exit 0
fi

source "$(dirname "$0")/../support/require.sh"
require cupsd lpadmin cupsdisable cupsreject lp lpstat pdftotext

mkdir -p "$dir"/{out,out-refusing,out-paused,spool,tmp,cache,state,log,serverbin/backend}
chmod 0755 "$dir" "$dir/serverbin" "$dir/serverbin/backend"
chmod 0777 "$dir/out" "$dir/out-refusing" "$dir/out-paused"
chmod 0710 "$dir/spool"
# The package's own server programs, with our backend beside them.
for part in cgi-bin daemon driver filter monitor notifier; do
    [ -e "/usr/lib/cups/$part" ] && ln -sfn "/usr/lib/cups/$part" "$dir/serverbin/$part"
done
cat >"$dir/serverbin/backend/capture" <<'BACKEND'
#!/bin/sh
# Without arguments: describe the device. With them: copy the job into the folder of the URI.
if [ $# -eq 0 ]; then
    echo 'direct capture "Unknown" "Job capture"'
    exit 0
fi
out="${DEVICE_URI#capture:}"
if [ -n "$6" ]; then
    cat "$6" >"$out/job-$1.tmp"
else
    cat >"$out/job-$1.tmp"
fi
mv "$out/job-$1.tmp" "$out/job-$1"
exit 0
BACKEND
chmod 0700 "$dir/serverbin/backend/capture" # mode 0700: cupsd runs it with its own rights

cat >"$dir/cupsd.conf" <<CONF
Listen $socket
LogLevel warn
Browsing Off
DefaultAuthType None
WebInterface No
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
group="$(id -gn)"
cat >"$dir/cups-files.conf" <<CONF
ServerRoot $dir
ServerBin $dir/serverbin
DataDir /usr/share/cups
RequestRoot $dir/spool
TempDir $dir/tmp
CacheDir $dir/cache
StateDir $dir/state
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
SystemGroup $group
FileDevice Yes
CONF
chmod 0644 "$dir/cupsd.conf" "$dir/cups-files.conf"

/usr/sbin/cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
echo $! >"$dir/cupsd.pid"
for _ in $(seq 100); do
    [ -S "$socket" ] && break
    sleep 0.1
done
if [ ! -S "$socket" ]; then
    echo "cupsd did not start:" >&2
    cat "$dir/log/cupsd.out" "$dir/log/error_log" 2>/dev/null >&2 || true
    exit 1
fi
export CUPS_SERVER="$socket"
add_queue() {
    lpadmin -p "$1" -E -v "capture:$dir/$2" -m raw 2>"$dir/log/lpadmin.err" || {
        cat "$dir/log/lpadmin.err" >&2
        exit 1
    }
}
add_queue xiyao-test out
add_queue xiyao-refusing out-refusing
add_queue xiyao-paused out-paused
cupsreject xiyao-refusing
cupsdisable -r "纸已用完" xiyao-paused
lpadmin -d xiyao-test
echo "$socket"
