#!/usr/bin/env bash
# The real program on a real X server, used from the keyboard, started twice and fed by a
# real drag and drop:
#   - Enter in the input field converts, the focus is back in the field after the run, the
#     File menu opens with Alt+F, Ctrl+Q quits;
#   - a second start hands its file to the running copy and ends at once;
#   - a file dragged from another program onto the input field becomes the input file;
#   - a dragged folder queues every TIFF file below it, which the run counts "(n/3)" and
#     converts beside the inputs;
#   - Escape closes the uninstall window.
# Every pressed key is released: a key held while its window closes repeats into the next.
# Usage: TEST PROGRAM DRAG_SOURCE
set -euo pipefail
program=$1
drag_source=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/x11_session.sh"

x11_program_session || exit $?
version=$("$program" -v)
title="^Kestrelix TIFF to BMP ${version//./\\.}\$"
# No update question may come up in the middle of the keys.
printf '[General]\r\nUpdate Range=5\r\n' >"$XDG_CONFIG_HOME/Kestrelix/quorvant/config.ini"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# press KEY...: presses and releases each key in the active window.
press() {
  local key
  for key in "$@"; do
    xdotool keydown "$key"
    xdotool keyup "$key"
  done
}

# origin WINDOW: the screen position of the window's inside, as "X Y".
origin() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
                           END {print x, y}'
}

tiff() { convert -size "$2" gradient:red-blue -depth 8 -type TrueColor "$work/$1"; }

start() {
  "$program" "$@" >>"$work/stdout" 2>>"$work/stderr" &
  app=$!
  main=$(x11_wait_window "$title")
  xdotool windowactivate --sync "$main"
  sleep 0.3
}

# finish_run WHAT [TITLE]: waits for the progress window of a good run and presses OK.
finish_run() {
  local progress
  progress=$(x11_wait_window "${2:-^Conversion complete \(1/1\)\$}" 60) || { fail "$1: no complete run"; return; }
  xdotool windowactivate --sync "$progress"
  press Return
  sleep 0.3
}

wait_for_end() {
  for _ in $(seq 1 100); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$app" 2>/dev/null; then
    fail "$1: the program did not end"
    kill "$app"
  fi
  wait "$app" || true
  app=""
}

tiff one.tif 30x20
tiff two.tif 20x10
mkdir -p "$work/sub"
tiff sub/handed.tif 16x16
tiff sub/dropped.tif 12x8

# Keys: type a path and press Enter; once the run is over the field has the focus again, so
# the next path typed there (after Ctrl+A) converts too.
start
xdotool type --delay 2 "$work/one.tif"
press Return
finish_run "Enter"
press ctrl+a
xdotool type --delay 2 "$work/two.tif"
press Return
finish_run "Enter after a run"
[ -f "$work/one.bmp" ] || fail "Enter did not convert one.tif"
[ -f "$work/two.bmp" ] || fail "the focus was not back in the input field for two.tif"

# A second start while this copy runs: it hands its file over and ends at once; the running
# window comes back from the taskbar with the file, which F5 then converts.
xdotool windowminimize --sync "$main"
(cd "$work/sub" && "$program" handed.tif >>"$work/stdout" 2>>"$work/stderr")
main=$(x11_wait_window "$title") || fail "the second start did not raise the window"
[ "$(xdotool getactivewindow)" = "$main" ] || fail "the raised window is not active"
sleep 0.3
press F5
finish_run "handed over"
# The folder box already held the last folder, so that is where it goes.
[ -f "$work/handed.bmp" ] || fail "the handed-over file was not converted"

# drag PATH...: starts a new queue (Ctrl+N) and drags PATH... from another program onto the
# input field, as from a file manager.
drag() {
  local source_window field_x field_y X Y step drag
  xdotool windowactivate --sync "$main"
  press ctrl+n
  "$drag_source" "$@" &
  drag=$!
  source_window=$(x11_wait_window '^kx drag source$')
  # The input field lies 97 pixels below the top of the window's inside, under the menu bar
  # and the toolbar of the default icon size.
  read -r X Y < <(origin "$main")
  field_x=$((X + 100)) field_y=$((Y + 97))
  read -r X Y < <(origin "$source_window")
  xdotool mousemove --sync $((X + 60)) $((Y + 40)) mousedown 1
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove --sync $((X + 60 + (field_x - X - 60) * step / 8)) \
      $((Y + 40 + (field_y - Y - 40) * step / 8))
    sleep 0.05
  done
  sleep 0.3
  [ -z "${KX_SHOOT_DROP:-}" ] || import -window root "$KX_SHOOT_DROP"
  xdotool mouseup 1
  xdotool windowactivate --sync "$main"
  sleep 0.3
  press F5
  kill "$drag"
  wait "$drag" 2>/dev/null || true
}

# A file: a new input file, and the empty folder box takes its folder.
drag "$work/sub/dropped.tif"
finish_run "dropped"
[ -f "$work/sub/dropped.bmp" ] || fail "the dropped file was not converted"

# A folder: every TIFF file below it, converted into the folder itself, subfolders kept.
mkdir -p "$work/batch/deeper"
tiff batch/a.tif 9x7
tiff batch/b.tif 7x9
tiff batch/deeper/c.tif 5x5
drag "$work/batch"
finish_run "dropped folder" '^Conversion complete \(3/3\)$'
for name in a b deeper/c; do
  [ "$(compare -metric AE "$work/batch/$name.tif" "$work/batch/$name.bmp" null: 2>&1)" = 0 ] ||
    fail "$name.bmp of the dropped folder does not show $name.tif"
done

# Alt+F opens the File menu; Up wraps to its last item, Exit.
xdotool windowactivate --sync "$main"
press alt+f
sleep 0.3
press Up Return
wait_for_end "File > Exit from the keyboard"

# Ctrl+Q quits as Alt+X does.
start
press ctrl+q
wait_for_end "Ctrl+Q"

# A console run while the window runs converts as if alone, and the window stays as it was.
start
"$program" -q -i "$work/one.tif" -o "$work/sub" >"$work/console-out" 2>&1
[ ! -s "$work/console-out" ] || fail "the console run while a window runs printed something"
[ -f "$work/sub/one.bmp" ] || fail "the console run did not convert while a window runs"
xdotool windowactivate --sync "$main"
press alt+x
wait_for_end "Alt+X"

# Escape closes the uninstall window without opening anything.
"$program" -U >>"$work/stdout" 2>>"$work/stderr" &
app=$!
uninstall=$(x11_wait_window '^Uninstall$')
xdotool windowactivate --sync "$uninstall"
press Escape
wait_for_end "Escape in the uninstall window"

[ ! -s "$work/stderr" ] || { echo "note: the program wrote on standard error:"; cat "$work/stderr"; }
[ $failures -eq 0 ] || exit 1
echo "1 passed, 0 failed"
