#!/usr/bin/env bash
# The real program on a real X server: type an input path, pick the output folder, press F5,
# wait for "Conversion complete", press OK, leave with Alt+X; then check the BMP against the
# TIFF by pixels and the configuration file the window wrote. Usage: TEST PROGRAM
set -euo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/x11_session.sh"

work=$(mktemp -d)
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  x11_stop
  rm -rf "$work"
}
trap cleanup EXIT
status=0
x11_start || status=$?
[ $status -eq 0 ] || exit $status
unset QT_QPA_PLATFORM

export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Kestrelix/quorvant" "$work/out"
chmod 700 "$XDG_RUNTIME_DIR"
# The main window is found by its title, which carries the program's version.
version=$("$program" -v)
config="$XDG_CONFIG_HOME/Kestrelix/quorvant/config.ini"
printf '[File]\r\nRecent Out Folders=%s/out/\r\n' "$work" >"$config"
convert -size 40x30 gradient:red-blue -depth 8 -type TrueColor "$work/in.tif"

"$program" >"$work/stdout" 2>"$work/stderr" &
app=$!
main=$(x11_wait_window "^Kestrelix TIFF to BMP ${version//./\\.}\$")
xdotool windowactivate --sync "$main"
sleep 0.3
xdotool type --delay 2 "$work/in.tif"
# Tab leaves the field (whose folder the empty box takes) for its button, then the box.
xdotool key Tab Tab Down F5
progress=$(x11_wait_window '^Conversion complete \(1/1\)$' 60)
xdotool windowactivate --sync "$progress" key Return
sleep 0.3
xdotool windowactivate --sync "$main" key alt+x
for _ in $(seq 1 100); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app" 2>/dev/null; then
  echo "FAIL: the program did not end after Alt+X"; exit 1
fi
wait "$app" || true
app=""

[ -f "$work/out/in.bmp" ] || { echo "FAIL: no BMP written"; ls -la "$work/out"; exit 1; }
differing=$(compare -metric AE "$work/in.tif" "$work/out/in.bmp" null: 2>&1 || true)
[ "$differing" = "0" ] || { echo "FAIL: $differing pixels differ"; exit 1; }
grep -q "Recent Out Folders = $work/out/" "$config" || { echo "FAIL: recent folder not stored"; cat "$config"; exit 1; }
grep -q "^Width = 510" "$config" || { echo "FAIL: window geometry not stored"; cat "$config"; exit 1; }
# "Open with": a file as the only parameter lands in the input field, and its folder becomes
# the output folder.
convert -size 20x10 gradient:green-yellow -depth 8 -type TrueColor "$work/handed.tif"
"$program" "$work/handed.tif" >>"$work/stdout" 2>>"$work/stderr" &
app=$!
main=$(x11_wait_window "^Kestrelix TIFF to BMP ${version//./\\.}\$")
xdotool windowactivate --sync "$main"
sleep 0.3
xdotool key F5
progress=$(x11_wait_window '^Conversion complete \(1/1\)$' 60)
xdotool windowactivate --sync "$progress" key Return
sleep 0.3
xdotool windowactivate --sync "$main" key alt+x
wait "$app" || true
app=""
differing=$(compare -metric AE "$work/handed.tif" "$work/handed.bmp" null: 2>&1 || true)
[ "$differing" = "0" ] || { echo "FAIL: the file handed over was not converted ($differing)"; exit 1; }

# The screenshot mode on the same display: two JPEG pictures of the window's size and 180 wide.
mkdir -p "$work/shots"
"$program" -T "$work/shots" >>"$work/stdout" 2>>"$work/stderr"
[ "$(identify -format '%wx%h' "$work/shots/quorvant1.jpg")" = "510x260" ] ||
  { echo "FAIL: quorvant1.jpg is $(identify -format '%wx%h' "$work/shots/quorvant1.jpg")"; exit 1; }
[ "$(identify -format '%wx%h' "$work/shots/quorvant1x.jpg")" = "180x92" ] ||
  { echo "FAIL: quorvant1x.jpg is $(identify -format '%wx%h' "$work/shots/quorvant1x.jpg")"; exit 1; }

[ ! -s "$work/stderr" ] || { echo "note: the program wrote on standard error:"; cat "$work/stderr"; }
echo "1 passed, 0 failed"
