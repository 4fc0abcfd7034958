# shellcheck shell=bash disable=SC2034 # its constants and results are for the scripts that source it
# Shared by wine-case, wine-scenario and run-wine: a private Wine prefix, a virtual X display,
# and the user's hands (xdotool) and eyes (import, the probe). Source it; it defines functions
# and constants.

# Finds the Wine loader for the program's architecture, $QX_ARCH (x64, the default, or x86),
# as WINE, and wineserver (Debian keeps them in /usr/lib/wine). 32-bit Wine comes from
# scripts/setup-wine32; one wineserver serves both kinds, each prefix its own.
wine_tools() {
  case ${QX_ARCH:-x64} in
  x64)
    WINE=$(command -v wine64 || true)
    [[ -n $WINE || ! -x /usr/lib/wine/wine64 ]] || WINE=/usr/lib/wine/wine64
    ;;
  x86)
    # Debian's "wine" is a script that falls back on wine64: take the 32-bit loader itself.
    WINE=/usr/lib/wine/wine
    [[ -d /usr/lib/wine ]] || WINE=$(command -v wine || true)
    [[ -x $WINE ]] || WINE=""
    export WINEARCH=win32
    ;;
  *)
    echo "QX_ARCH is \"$QX_ARCH\"; x64 or x86 expected" >&2
    return 1
    ;;
  esac
  WINESERVER=$(command -v wineserver || true)
  [[ -n $WINESERVER || ! -x /usr/lib/wine/wineserver ]] || WINESERVER=/usr/lib/wine/wineserver
  [[ -n $WINE && -n $WINESERVER ]] ||
    { echo "Wine for ${QX_ARCH:-x64} programs and wineserver are needed (scripts/setup)" >&2; return 1; }
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
    timeout 240 "$WINE" wineboot -i
    timeout 120 "$WINESERVER" -w
  ) || { echo "wineboot failed for $prefix" >&2; return 1; }
  # A 32-bit program must meet a 32-bit system, not a 64-bit one's compatibility layer.
  local arch=win64
  [[ ${QX_ARCH:-x64} == x64 ]] || arch=win32
  grep -qx "#arch=$arch" "$prefix/system.reg" ||
    { echo "the prefix $prefix is not a $arch one: $(grep -m 1 '^#arch=' "$prefix/system.reg")" >&2; return 1; }
}

# Sets a per-program Windows version for qx310wup.exe (win98, ...), or removes it ("").
set_program_version() {
  local key='HKCU\Software\Wine\AppDefaults\qx310wup.exe'
  if [[ -n $1 ]]; then
    timeout 60 "$WINE" reg add "$key" /v Version /d "$1" /f >/dev/null
  else
    timeout 60 "$WINE" reg delete "$key" /f >/dev/null 2>&1 || true
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

# The port dialog: its client area in dialog units, its controls' rectangles as the resource
# script lays them out.
DIALOG_TITLE="Select Printer Port"
DIALOG_UNITS_W=177
DIALOG_UNITS_H=95
declare -A DIALOG_CONTROL=([LPT1]="31 34 33 10" [LPT2]="31 50 33 10" [LPT3]="31 67 33 10"
  [OK]="110 46 45 14")

# What follows acts on the program started by start_program; a caller defines fail (print what
# went wrong and what was seen, then exit) and sets WORK_DIR, where the program's working folder
# (cwd), its Wine output (wine.log) and the list of windows seen (seen.txt) are kept.

# Every visible top-level window as the program's own window system sees it (see probe.cpp).
probe_windows() { timeout 60 "$WINE" "$QX_PROBE" windows 2>/dev/null | tr -d '\r'; }

# The probe's line for the window titled $1.
probe_window() { probe_windows | awk -F'|' -v t="$1" '$1 == t { print; exit }'; }

# The checked buttons of the window titled $1, their texts on one line.
checked_buttons() { timeout 60 "$WINE" "$QX_PROBE" checked "$1" 2>/dev/null | tr -d '\r' | paste -sd ' ' -; }

# Makes the DOS device $1 of the prefix (lpt2, ostrane_lpt2, ...) stand for the file $2.
port_link() { ln -sfn "$2" "$WINEPREFIX/dosdevices/$1"; }

start_program() {
  (cd "$WORK_DIR/cwd" && exec "$WINE" "$QX_EXE") >"$WORK_DIR/wine.log" 2>&1 &
  PROGRAM_PID=$!
}

# Waits up to $1 seconds until a window with one of the titles that follow is visible and has
# settled: the same X window with the same geometry on two looks running (Wine may replace a
# window's X window just after showing it). Sets WIN_TITLE, WIN_ID and WIN_X, WIN_Y, WIN_W,
# WIN_H: its client area on the screen.
wait_window() {
  local limit=$1 deadline last="" title id geometry found
  shift
  deadline=$((SECONDS + limit))
  while ((SECONDS < deadline)); do
    visible_windows >>"$WORK_DIR/seen.txt"
    found=""
    for title in "$@"; do
      id=$(xdotool search --onlyvisible --name "$(title_pattern "$title")" 2>/dev/null | tail -n 1)
      [[ -n $id ]] || continue
      geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null) || continue
      found="$title|$id|$geometry"
      break
    done
    if [[ -n $found && $found == "$last" ]]; then
      local WINDOW X Y WIDTH HEIGHT SCREEN
      eval "$geometry"
      WIN_TITLE=$title WIN_ID=$id WIN_X=$X WIN_Y=$Y WIN_W=$WIDTH WIN_H=$HEIGHT
      return 0
    fi
    last=$found
    kill -0 "$PROGRAM_PID" 2>/dev/null ||
      fail "the program ended while a window titled $(printf '"%s" ' "$@")was awaited"
    sleep 0.3
  done
  fail "no window titled $(printf '"%s" ' "$@")settled within ${limit}s"
}

wait_window_gone() {
  local title=$1 deadline=$((SECONDS + 15))
  while ((SECONDS < deadline)); do
    xdotool search --onlyvisible --name "$(title_pattern "$title")" >/dev/null 2>&1 || return 0
    sleep 0.3
  done
  fail "the window \"$title\" is still shown 15s after its OK button was clicked"
}

click_at() { xdotool mousemove --sync "$1" "$2" click 1; }

# Clicks a port dialog control at its place in dialog units, scaled to the dialog's client area.
click_dialog_control() {
  local x y w h
  read -r x y w h <<<"${DIALOG_CONTROL[$1]}"
  click_at $((WIN_X + (2 * x + w) * WIN_W / (2 * DIALOG_UNITS_W))) \
    $((WIN_Y + (2 * y + h) * WIN_H / (2 * DIALOG_UNITS_H)))
}

# Checks the message box just awaited (caption $1, text $2 unless empty, line breaks shown as
# "/") and clicks its OK button. Without a window manager the keyboard focus does not follow a new box,
# so the button is clicked, at the place the probe reports or else near the box's bottom centre.
answer_message_box() {
  local caption=$1 text=$2 line ok
  line=$(probe_window "$caption")
  [[ -n $line ]] || fail "the probe does not see the message box \"$caption\""
  [[ -z $text || $(cut -d'|' -f5- <<<"$line") == "$text" ]] ||
    fail "message box \"$caption\" says \"$(cut -d'|' -f5- <<<"$line")\", expected \"$text\""
  ok=$(cut -d'|' -f4 <<<"$line")
  if [[ -n $ok ]]; then
    click_at "${ok%,*}" "${ok#*,}"
  else
    click_at $((WIN_X + WIN_W / 2)) $((WIN_Y + WIN_H - 20))
  fi
  wait_window_gone "$caption"
}

# For the end-to-end cases (wine-case, wine-scenario): the main window as the user must see it,
# a case's own folder, and how a case fails and ends.
MAIN_TITLE="QX310 Device ID Update V2.2"
MAIN_FRAME="20,20,400,400"

# A fresh folder for the case $1 under $QX_E2E_DIR: sets CASE_NAME, WORK_DIR and SHOT_DIR and
# makes the program's working folder (cwd) and the list of windows seen (seen.txt).
start_case() {
  CASE_NAME=$1
  WORK_DIR=$QX_E2E_DIR/$1
  SHOT_DIR=$WORK_DIR/shots
  rm -rf "$WORK_DIR"
  mkdir -p "$WORK_DIR/cwd" "$SHOT_DIR"
  : >"$WORK_DIR/seen.txt"
}

# Says what went wrong and what was seen, with a screenshot when there is a display; exits 1.
fail() {
  echo "FAIL [$CASE_NAME]: $*" >&2
  if [[ -n ${DISPLAY:-} ]]; then
    screenshot failure
    echo "  visible windows now: $(visible_windows | paste -sd '|' -)" >&2
    echo "  windows (probe): " >&2
    probe_windows | sed 's/^/    /' >&2
  fi
  echo "  windows seen during the run: $(sort -u "$WORK_DIR/seen.txt" | paste -sd '|' -)" >&2
  echo "  screenshots: $SHOT_DIR" >&2
  if [[ -s $WORK_DIR/wine.log ]]; then
    echo "  Wine's output (last lines of $WORK_DIR/wine.log):" >&2
    tail -n 15 "$WORK_DIR/wine.log" | sed 's/^/    /' >&2
  fi
  exit 1
}

# The program must end with exit code 0 and no window left, within 30 s of its last box.
wait_exit() {
  local deadline=$((SECONDS + 30)) code
  while kill -0 "$PROGRAM_PID" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "the program still runs 30s after its last message box"
    sleep 0.2
  done
  wait "$PROGRAM_PID"
  code=$?
  PROGRAM_PID=""
  [[ $code -eq 0 ]] || fail "the program's exit code is $code, expected 0"
  visible_windows | grep -qxF "$MAIN_TITLE" && fail "the main window is still shown after exit"
  return 0
}

check_main_frame() {
  local frame
  frame=$(probe_window "$MAIN_TITLE" | cut -d'|' -f2,3)
  [[ $frame == "QX310 DevID Update|$MAIN_FRAME" ]] ||
    fail "main window (class|left,top,width,height) is \"$frame\", expected \"QX310 DevID Update|$MAIN_FRAME\""
}
