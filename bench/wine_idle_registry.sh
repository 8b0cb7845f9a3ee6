#!/usr/bin/env bash
# Idle processor time of Registry.exe under wine: logged in at the reference registry server
# on an ephemeral loopback port, the lists shown, then 10 s of wall time measured from
# /proc/PID/stat for the program's process and for wineserver. Target: below 1 % of a core.
#   bench/wine_idle_registry.sh [WINDOWS_BIN [NATIVE_BIN]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
winbin=$(cd "${1:-$root/build-windows/bin}" && pwd)
natbin=$(cd "${2:-$root/build/bin}" && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a "$0" "$winbin" "$natbin"
fi
export WINEPREFIX=${WINEPREFIX:-$winbin/../wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

data=$work/data
echo tales | "$natbin/RegistryServer" --data "$data" --hash-iterations 1000 --add-account demo >/dev/null
"$natbin/RegistryServer" --data "$data" --add-server Eastmarch --address 127.0.0.1 --owner demo >/dev/null
"$natbin/RegistryServer" --data "$data" --listen 127.0.0.1:0 >"$work/server.log" 2>&1 &
pids+=($!)
port=
for _ in $(seq 200); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.log")
    [ -n "$port" ] && break
    sleep 0.05
done
[ -n "$port" ] || { cat "$work/server.log" >&2; exit 1; }

client=$work/client
mkdir -p "$client"
cp "$winbin/Registry.exe" "$winbin/R0.7.txt" "$client/"
# Automatic login; the stored password is kept reversed.
printf '[Account]\r\nUser=demo\r\nAutoLogin=1\r\nPassword=selat\r\n' >"$client/registry.ini"
(cd "$client" && exec "$wine" Registry.exe --server "127.0.0.1:$port" >"$work/client.log" 2>&1) &
pids+=($!)
for _ in $(seq 1200); do
    grep -q "(demo) logged in" "$work/server.log" && break
    sleep 0.05
done
grep -q "(demo) logged in" "$work/server.log" || { echo "no login" >&2; cat "$work/server.log" >&2; exit 1; }
sleep 2 # let the lists and the first paint settle before measuring

program=$(pgrep -f "Registry.exe --server 127.0.0.1:$port" | head -1)
# The wineserver of this prefix works in a folder named after the prefix's device and inode.
serverdir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
server=
for pid in $(pgrep -f wineserver); do
    case $(readlink "/proc/$pid/cwd" 2>/dev/null) in */$serverdir) server=$pid ;; esac
done
[ -n "$program" ] && [ -n "$server" ] || { echo "program or wineserver not found" >&2; exit 1; }
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
p0=$(ticks "$program"); s0=$(ticks "$server")
sleep 10
p1=$(ticks "$program"); s1=$(ticks "$server")
awk -v p=$((p1 - p0)) -v s=$((s1 - s0)) -v hz="$hz" 'BEGIN {
    printf "Registry.exe idle: %.2f %% of one core (wineserver %.2f %%) over 10 s\n",
           100 * p / hz / 10, 100 * s / hz / 10 }'
