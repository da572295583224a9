#!/usr/bin/env bash
# The real program's update check on a real X server, with the update host answering from
# this machine one byte every 200 ms: while the check waits, Alt+F4 (the window manager's close
# request) and the end of the session (SIGTERM) end the program at once with its
# configuration written, and left alone the check gives up with the connection problem box.
# Runs in network and mount namespaces of its own, where the update host's name leads to
# 127.0.0.1 and no traffic can leave. Usage: TEST PROGRAM TRICKLE_SERVER UPDATE_HOST
set -euo pipefail
if [ -z "${KX_OWN_NAMESPACES:-}" ]; then
  unshare -mn true 2>/dev/null || { echo "SKIP: no network namespace can be made here"; exit 77; }
  KX_OWN_NAMESPACES=1 exec unshare -mn bash "$0" "$@"
fi
program=$1
server=$2
host_port=${3#*://}
host_port=${host_port%%/*}
host=${host_port%%:*}
port=80
[ "$host_port" != "$host" ] && port=${host_port#*:}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/x11_session.sh"

work=$(mktemp -d)
app=""
trickler=""
cleanup() {
  [ -n "$app" ] && kill -9 "$app" 2>/dev/null
  [ -n "$trickler" ] && kill "$trickler" 2>/dev/null
  x11_stop
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

ip link set lo up
printf '127.0.0.1 %s\n' "$host" >"$work/hosts"
mount --bind "$work/hosts" /etc/hosts
"$server" "$port" "$work/connections" &
trickler=$!
x11_start || exit $?
x11_private_home "$work"
config="$XDG_CONFIG_HOME/Kestrelix/quorvant/config.ini"
mkdir -p "$(dirname "$config")"
version=$("$program" -v)
main_title="^Kestrelix TIFF to BMP ${version//./\\.}\$"

connections() {
  if [ -f "$work/connections" ]; then wc -l <"$work/connections"; else echo 0; fi
}

# Starts the program with the automatic check due, answers Yes and waits until the check
# has reached the server.
start_check() {
  printf '[General]\r\nUpdate Range = 0\r\nUpdate Date = 1000\r\n' >"$config"
  local before
  before=$(connections)
  "$program" >>"$work/stdout" 2>>"$work/stderr" &
  app=$!
  xdotool windowactivate --sync "$(x11_wait_window '^Check for Updates$')" key Return
  for _ in $(seq 1 50); do
    [ "$(connections)" -gt "$before" ] && break
    sleep 0.1
  done
  [ "$(connections)" -gt "$before" ] ||
    fail "the check never reached the update host"
  sleep 1
}

echo "Alt+F4 ends the program while the check waits"
start_check
xdotool windowactivate --sync "$(x11_wait_window "$main_title")" key alt+F4
x11_ended_within 5 || fail "the program lived on after Alt+F4 during the update check"
grep -q "^Width = 510" "$config" || fail "no configuration written after Alt+F4"

echo "the end of the session ends the program while the check waits"
start_check
kill -TERM "$app"
x11_ended_within 5 || fail "the program lived on after SIGTERM during the update check"
grep -q "^Width = 510" "$config" || fail "no configuration written after SIGTERM"

echo "a check the host trickles gives up with the connection problem box"
start_check
box=$(x11_wait_window '^Error$' 20) || fail "the check did not give up"
xdotool windowactivate --sync "$box" key Return
xdotool windowactivate --sync "$(x11_wait_window "$main_title")" key alt+x
x11_ended_within 10 || fail "the program did not end after Alt+X"
echo "PASS"
