# Shared by wine-case and run-wine: a private Wine prefix, a virtual X display, and the user's
# hands (xdotool) and eyes (import, the probe). Source it; it defines functions only.

# Finds wine64 and wineserver (Debian keeps them in /usr/lib/wine).
wine_tools() {
  WINE64=$(command -v wine64 || true)
  [[ -n $WINE64 || ! -x /usr/lib/wine/wine64 ]] || WINE64=/usr/lib/wine/wine64
  WINESERVER=$(command -v wineserver || true)
  [[ -n $WINESERVER || ! -x /usr/lib/wine/wineserver ]] || WINESERVER=/usr/lib/wine/wineserver
  [[ -n $WINE64 && -n $WINESERVER ]] || { echo "wine64 and wineserver are needed (scripts/setup)" >&2; return 1; }
  export WINEDEBUG=${WINEDEBUG:--all}
  # No downloads of add-ons on a new prefix, and no dialogs asking for them.
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# A new prefix at $1. Runs without a display: nothing is shown while it is made.
make_prefix() {
  local prefix=$1
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  (
    unset DISPLAY
    export WINEPREFIX=$prefix
    timeout 240 "$WINE64" wineboot -i
    timeout 120 "$WINESERVER" -w
  ) || { echo "wineboot failed for $prefix" >&2; return 1; }
}

# Sets a per-program Windows version for qx310wup.exe (win98, ...), or removes it ("").
set_program_version() {
  local key='HKCU\Software\Wine\AppDefaults\qx310wup.exe'
  if [[ -n $1 ]]; then
    timeout 60 "$WINE64" reg add "$key" /v Version /d "$1" /f >/dev/null
  else
    timeout 60 "$WINE64" reg delete "$key" /f >/dev/null 2>&1 || true
  fi
}

# Starts Xvfb on a display nobody uses and exports DISPLAY. $1: folder for its log.
start_xvfb() {
  local dir=$1 fd number="" i
  : >"$dir/display"
  exec {fd}>"$dir/display"
  Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
  XVFB_PID=$!
  exec {fd}>&-
  for ((i = 0; i < 100; i++)); do
    number=$(tr -dc 0-9 <"$dir/display")
    [[ -z $number ]] || break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  [[ -n $number ]] || { echo "Xvfb did not start:" >&2; cat "$dir/xvfb.log" >&2; return 1; }
  export DISPLAY=":$number"
}

# Ends what we started: the program, every process of our private prefix, our Xvfb.
stop_all() {
  if [[ -n ${PROGRAM_PID:-} ]] && kill -0 "$PROGRAM_PID" 2>/dev/null; then
    kill "$PROGRAM_PID" 2>/dev/null || true
  fi
  if [[ -n ${WINEPREFIX:-} && -d ${WINEPREFIX:-/nonexistent} ]]; then
    timeout 30 "$WINESERVER" -k 2>/dev/null || true
  fi
  if [[ -n ${XVFB_PID:-} ]]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}

# Names of the visible windows, one a line.
visible_windows() {
  local id
  for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
    xdotool getwindowname "$id" 2>/dev/null || true
  done | sed '/^$/d' | sort -u
}

# Regular-expression form of a literal window title.
title_pattern() { printf '^%s$' "$(printf '%s' "$1" | sed 's/[][\.*^$+?(){}|]/\\&/g')"; }

# Saves the whole screen as $SHOT_DIR/NN-$1.png and sets SHOT to its path.
SHOT_COUNT=0
screenshot() {
  SHOT_COUNT=$((SHOT_COUNT + 1))
  SHOT=$(printf '%s/%02d-%s.png' "$SHOT_DIR" "$SHOT_COUNT" "$1")
  import -display "$DISPLAY" -window root "$SHOT" 2>/dev/null || echo "(screenshot $SHOT failed)" >&2
}
