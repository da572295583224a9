#!/usr/bin/env bash
# Long and failing runs of the real program on a real X server, as a user meets them:
#   - the progress window follows the pages of a 200-page file and, after a few seconds,
#     estimates the time left;
#   (the test holds these runs at the pages it chooses through the page gate, a FIFO the
#   program takes a byte from before each page)
#   - closing it and answering Yes stops the run once the page under way is written;
#   - the end of the session (SIGTERM) in the middle of a run, or while a start-up message box
#     is open, writes the configuration and ends the program, leaving only whole files and
#     the instance lock free;
#   - a failed run says why.
# The windows' words are read from the clipboard, where Ctrl+C in the progress window puts
# them. Usage: TEST PROGRAM CLIPBOARD_READER
set -euo pipefail
program=$1
clipboard=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/x11_session.sh"

work=$(mktemp -d)
app=""
cleanup() {
  [ -n "$app" ] && kill -9 "$app" 2>/dev/null
  x11_stop
  chmod -R u+w "$work" 2>/dev/null
  [ -n "${KX_KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND"' ERR
x11_start || exit $?
x11_private_home "$work"
config="$XDG_CONFIG_HOME/Kestrelix/quorvant/config.ini"
mkdir -p "$(dirname "$config")" "$work/out"
version=$("$program" -v)
main_title="^Kestrelix TIFF to BMP ${version//./\\.}\$"

fail() {
  echo "FAIL: $*"
  exit 1
}

# Each key is pressed and released, then released once more: a key whose window closes
# between press and release would otherwise stay held in the X server and repeat into the
# next window.
press() {
  local key
  for key in "$@"; do
    xdotool key --clearmodifiers "$key"
    xdotool keyup "$key"
  done
}

# write_config UPDATE_RANGE: a configuration without window geometry (so that a written one
# shows), with the output folder remembered and every page brought down to 100 x 100. Update
# Range 0 with an old Update Date asks about updates at start-up; 5 never does.
write_config() {
  printf '[General]\r\nUpdate Range = %s\r\nUpdate Date = 1000\r\n[File]\r\nRecent Out Folders = %s\r\n[Transform]\r\nDo Image Resize = 1\r\nImage Width = 100\r\nImage Height = 100\r\n' \
    "$1" "$work/out/" >"$config"
}

# The page gate: each byte written to descriptor 3 lets one page of the run through.
mkfifo "$work/gate"
exec 3<>"$work/gate"
release() {
  head -c "$1" /dev/zero >&3
}

start() {
  KX_PAGE_GATE="$work/gate" "$program" "$@" 3>&- >>"$work/stdout" 2>>"$work/stderr" &
  app=$!
}

# leave: Alt+X in the main window, and the program ends.
leave() {
  xdotool windowactivate --sync "$(x11_wait_window "$main_title")"
  press alt+x
  x11_ended_within 30 || fail "the program did not end after Alt+X"
}

# convert_typed FILE: types FILE into the input field of a window just started, picks the
# remembered output folder and presses F5.
convert_typed() {
  xdotool windowactivate --sync "$(x11_wait_window "$main_title")"
  sleep 0.3
  xdotool type --delay 2 "$1"
  press Tab Tab Down F5
}

# page_shown: the page the progress window's title counts, or nothing.
page_shown() {
  { xdotool search --onlyvisible --name '^Converting \([0-9]+/200\)$' getwindowname 2>/dev/null ||
    true; } | sed -n 's|^Converting (\([0-9]*\)/200)$|\1|p' | head -n 1
}

# wait_for_page N: waits until the title counts page N or a later one.
wait_for_page() {
  local deadline=$((SECONDS + 60)) page
  while [ $SECONDS -lt $deadline ]; do
    page=$(page_shown)
    [ -n "$page" ] && [ "$page" -ge "$1" ] && return 0
    sleep 0.1
  done
  fail "the progress window never counted page $1 (pages do not move the title)"
}

# copied WINDOW: what WINDOW puts on the clipboard for Ctrl+C.
copied() {
  xdotool windowactivate --sync "$1"
  press ctrl+c
  sleep 0.2
  "$clipboard" 2>/dev/null
}

# only_whole_pages: the output folder holds nothing but complete page files of long.tif, each
# as long as its BMP header says. (ImageMagick would read "[1]" in a name as a frame number.)
only_whole_pages() {
  local name file
  for name in $(ls -A "$work/out"); do
    [[ $name =~ ^long\[[0-9]+\]\.bmp$ ]] || fail "a stray file was left: $name"
    file="$work/out/$name"
    [ "$(head -c 2 "$file")" = BM ] &&
      [ "$(od -An -tu4 -j2 -N4 "$file" | tr -d ' ')" = "$(stat -c %s "$file")" ] ||
      fail "$name is not a whole BMP"
  done
}

written() {
  ls "$work/out" | wc -l
}

# A 200-page TIFF of blank 400 x 400 pages, made in a moment.
{ printf 'P4\n400 400\n'; head -c $((50 * 400)) /dev/zero; } >"$work/page.pbm"
ppm2tiff -c g4 "$work/page.pbm" "$work/page.tif"
pages=()
for _ in $(seq 200); do pages+=("$work/page.tif"); done
tiffcp "${pages[@]}" "$work/long.tif"

echo "progress follows the pages, and Yes stops after the page under way"
write_config 5
start
convert_typed "$work/long.tif"
release 2
wait_for_page 2
progress=$(x11_wait_window '^Converting \([0-9]+/200\)$')
deadline=$((SECONDS + 60))
text=""
estimate="^Converting \([0-9]+/200\)"$'\n'"$work/long\.tif"$'\n'"Time Remaining: [0-9]{2}:[0-9]{2}:[0-9]{2}$"
while [ $SECONDS -lt $deadline ] && ! [[ $text =~ $estimate ]]; do
  sleep 0.5
  text=$(copied "$progress")
done
[[ $text =~ $estimate ]] || fail "no time estimate while a long run goes on; the window shows: $text"
xdotool windowactivate --sync "$progress"
press Escape
question=$(x11_wait_window '^Warning$')
# The run is held before page 3, so the title stays on page 2 while the question is open.
page=$(page_shown)
[ "$page" = 2 ] || fail "the title moved to page $page while the run was held after page 2"
xdotool windowactivate --sync "$question"
press Return
release 1 # the run goes on to page 3 and finds it is to stop there
stopped=$(x11_wait_window '^Conversion stopped \(1/1\)$' 60)
[ "$(written)" -eq "$page" ] || fail "Yes at page $page of 200 left $(written) pages written"
only_whole_pages
[ "$(copied "$stopped")" = $'Conversion stopped (1/1)\nConversion stopped' ] ||
  fail "the stopped run shows: $(copied "$stopped")"
xdotool windowactivate --sync "$stopped"
press Return
leave
grep -q "^Width = 510" "$config" || fail "the configuration was not written after the stop"

echo "the end of the session ends a run at once"
rm -f "$work/out/"*
write_config 5
start
convert_typed "$work/long.tif"
release 3
wait_for_page 3
kill -TERM "$app"
x11_ended_within 30 || fail "the program lived on after SIGTERM in the middle of a run"
grep -q "^Width = 510" "$config" || fail "the configuration was not written at the session's end"
[ "$(written)" -le 3 ] || fail "the run went on past the pages let through"
only_whole_pages
! pgrep -f "$work/long.tif" >/dev/null || fail "a decoder of the run lives on"
start
x11_wait_window "$main_title" >/dev/null || fail "the instance lock was kept"
leave

echo "the end of the session ends the program while a start-up box is open"
boxes=("^Check for Updates\$" "^Warning\$")
for box in "${boxes[@]}"; do
  rm -f "$work/out/"*
  if [ "$box" = "^Warning\$" ]; then
    write_config 5
    echo "some notes" >"$work/notes.txt"
    start "$work/notes.txt" # "Open with" a file that is no TIFF: a warning box at start-up
  else
    write_config 0 # the automatic update question at start-up
    start
  fi
  x11_wait_window "$box" >/dev/null || fail "no start-up box $box"
  kill -TERM "$app"
  x11_ended_within 30 || fail "the program lived on after SIGTERM with the start-up box $box open"
  grep -q "^Width = 510" "$config" || fail "no configuration written with the box $box open"
  write_config 5
  start
  x11_wait_window "$main_title" >/dev/null || fail "the instance lock was kept"
  leave
done

echo "a failed run says why"
echo "some notes" >"$work/notes.tif"
# A page of a kind no decoder has a conversion for.
convert -size 8x8 xc:red -depth 8 "$work/layers.tif"
tiffset -s 262 7 "$work/layers.tif"
mkdir -p "$work/readonly"
cp "$work/page.tif" "$work/readonly/page.tif"
chmod 555 "$work/readonly"
cases=(
  "$work/gone.tif|Cannot open $work/gone.tif: No such file or directory"
  "$work/notes.tif|$work/notes.tif is not a TIFF file"
  "$work/layers.tif|Sorry, can not handle image with PhotometricInterpretation=7"
  "$work/readonly/page.tif|Cannot create a file in $work/readonly/: Permission denied"
)
for row in "${cases[@]}"; do
  input=${row%%|*}
  reason=${row#*|}
  write_config 5
  run_as=()
  if [[ $input == */readonly/* ]] && [ "$(id -u)" = 0 ]; then
    # Root writes into read-only folders; a user without its rights meets the refusal.
    command -v setpriv >/dev/null || { echo "skipped: no setpriv for the read-only folder"; continue; }
    chmod 755 "$work"
    chown -R nobody "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$HOME"
    run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  # "Open with" the file: it lands in the input field, its own folder becomes the output folder.
  "${run_as[@]}" "$program" "$input" >>"$work/stdout" 2>>"$work/stderr" &
  app=$!
  xdotool windowactivate --sync "$(x11_wait_window "$main_title")"
  press F5
  failed=$(x11_wait_window '^Conversion stopped \(1/1\)$' 60)
  text=$(copied "$failed")
  [[ $text == "Conversion stopped (1/1)"$'\n'"Files converted: 0 of 1"$'\n'"$reason"* ]] ||
    fail "the failed run of $input shows: $text"
  xdotool windowactivate --sync "$failed"
  press Return
  leave
  [ ${#run_as[@]} -eq 0 ] || chown -R root "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$HOME"
done

[ ! -s "$work/stderr" ] || { echo "note: the program wrote on standard error:"; cat "$work/stderr"; }
echo "1 passed, 0 failed"
