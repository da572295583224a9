# Sourced by the tests and scripts that drive the real program on a real X server.
# x11_start starts Xvfb on a free display with the openbox window manager and exports
# DISPLAY; x11_stop ends both. Returns 77 (the "skip" status) when no X server can run here.

x11_start() {
  command -v Xvfb >/dev/null && command -v openbox >/dev/null && command -v xdotool >/dev/null ||
    { echo "SKIP: Xvfb, openbox or xdotool is not installed (scripts/setup installs them)"; return 77; }
  # The server picks the free display itself and writes its number to the file: choosing one
  # here would race with another test starting a server at the same time, and both tests would
  # then drive the one server.
  local number_file n="" i
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  x11_server=$!
  for i in $(seq 1 100); do
    n=$(head -n 1 "$number_file")
    [ -n "$n" ] && break
    kill -0 "$x11_server" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$number_file"
  if [ -z "$n" ] || ! kill -0 "$x11_server" 2>/dev/null; then
    echo "SKIP: no X server could be started"
    return 77
  fi
  export DISPLAY=":$n"
  openbox >/dev/null 2>&1 &
  x11_wm=$!
  sleep 0.5
  return 0
}

# x11_program_session: starts the server as x11_start does (returning 77 when none can run),
# with a fresh folder $work that holds a home, configuration folder and runtime folder of
# their own for the programs started from here, and no offscreen platform. On exit the
# program whose process id is in $app is ended, the server stopped and $work removed.
x11_program_session() {
  work=$(mktemp -d)
  app=""
  trap '[ -n "$app" ] && kill "$app" 2>/dev/null; x11_stop; rm -rf "$work"' EXIT
  x11_start || return $?
  unset QT_QPA_PLATFORM
  export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Kestrelix/quorvant"
  chmod 700 "$XDG_RUNTIME_DIR"
}

x11_stop() {
  [ -n "${x11_wm:-}" ] && kill "$x11_wm" 2>/dev/null
  [ -n "${x11_server:-}" ] && kill "$x11_server" 2>/dev/null
  wait 2>/dev/null || true
}

# x11_wait_window NAME_REGEX [SECONDS]: prints the id of the first visible window whose
# title matches, waiting up to SECONDS (default 20).
x11_wait_window() {
  local deadline=$((SECONDS + ${2:-20})) id
  while [ $SECONDS -lt $deadline ]; do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window named '$1' appeared" >&2
  return 1
}

# x11_ended_within SECONDS: true once the program whose process id is in $app has ended; it
# is then waited for and $app emptied.
x11_ended_within() {
  local deadline=$((SECONDS + $1))
  while [ $SECONDS -lt $deadline ]; do
    if ! kill -0 "$app" 2>/dev/null; then
      wait "$app" || true
      app=""
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# x11_private_home WORK: a home, configuration and runtime folder of their own below WORK for
# the program under test, so that it neither reads nor writes the user's, and the platform
# chosen by DISPLAY rather than by QT_QPA_PLATFORM.
x11_private_home() {
  export HOME="$1/home" XDG_CONFIG_HOME="$1/config" XDG_RUNTIME_DIR="$1/run"
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  unset QT_QPA_PLATFORM
}
