# shellcheck shell=bash disable=SC2034 # its results are for the scripts that source it
# The parallel-port driver under Wine (e2e/parport): the simulated PC's options turned into the
# driver's configuration, its installation as a kernel driver service, and one Wine session that
# runs it. Source it after wine-lib.sh; it uses WINE and WINESERVER (wine_tools) and
# WINEPREFIX, so another Wine and prefix can be used by setting them first.

PARPORT_SERVICE=qxparport

# Turns qx310wup-sim's options ($@) into the run under Wine. Sets FAMILY (9x or nt), CHOOSE
# (LPT1..3 or ""), PORT_STATE[1..3] (absent, empty, takes, ignores, pads, prefixed), PORT_ID[n]
# (set when given), WRITE_FAILS (0/1), ALIASES (bit n-1: OSTRANE_LPTn defined before the run) and
# CAPTURE_DIR. Returns 1 with PARPORT_ERROR set for an option that cannot be honoured under Wine.
parport_options() {
  local option value port kind printers_given=0
  FAMILY=9x CHOOSE="" WRITE_FAILS=0 ALIASES=0 CAPTURE_DIR="" PARPORT_ERROR=""
  PORT_STATE=([1]=empty [2]=takes [3]=empty)
  PORT_ID=()
  while (($#)); do
    option=$1
    shift
    case $option in
    --write-fails)
      WRITE_FAILS=1
      continue
      ;;
    --family | --printer | --id | --absent | --choose | --capture | --dos-device) ;;
    *)
      PARPORT_ERROR="$option cannot be run under Wine (it takes --family, --printer, --id,"
      PARPORT_ERROR+=" --absent, --choose, --write-fails, --capture and --dos-device)"
      return 1
      ;;
    esac
    (($#)) || {
      PARPORT_ERROR="$option needs a value"
      return 1
    }
    value=$1
    shift
    case $option in
    --family)
      [[ $value == nt || $value == 9x ]] || {
        PARPORT_ERROR="--family takes nt or 9x"
        return 1
      }
      FAMILY=$value
      ;;
    --printer)
      if ((!printers_given)); then
        for port in 1 2 3; do
          [[ ${PORT_STATE[$port]} == absent ]] || PORT_STATE[port]=empty
        done
        printers_given=1
      fi
      [[ $value == none ]] && continue
      port=$(parport_port "${value%%:*}") || {
        PARPORT_ERROR="--printer: bad value \"$value\""
        return 1
      }
      kind=takes
      [[ $value == *:* ]] && kind=${value#*:}
      [[ $kind =~ ^(takes|ignores|pads|prefixed)$ ]] || {
        PARPORT_ERROR="--printer: bad value \"$value\""
        return 1
      }
      PORT_STATE[port]=$kind
      ;;
    --id)
      if [[ $value != *=* ]] || ! port=$(parport_port "${value%%=*}"); then
        PARPORT_ERROR="--id takes LPTn=TEXT"
        return 1
      fi
      PORT_ID[port]=${value#*=}
      [[ ${PORT_STATE[$port]} =~ ^(absent|empty)$ ]] && PORT_STATE[port]=takes
      ;;
    --absent)
      port=$(parport_port "$value") || {
        PARPORT_ERROR="--absent takes LPT1, LPT2 or LPT3"
        return 1
      }
      PORT_STATE[port]=absent
      ;;
    --choose)
      port=$(parport_port "$value") || {
        PARPORT_ERROR="--choose takes LPT1, LPT2 or LPT3"
        return 1
      }
      CHOOSE=LPT$port
      ;;
    --capture) CAPTURE_DIR=$value ;;
    --dos-device)
      # Only the program's own alias, as an earlier run leaves it, can stand before the start:
      # the driver makes it.
      if [[ ${value^^} =~ ^OSTRANE_LPT([1-3])=\\DEVICE\\PARALLEL([0-2])$ ]] &&
        ((BASH_REMATCH[2] == BASH_REMATCH[1] - 1)); then
        ALIASES=$((ALIASES | 1 << (BASH_REMATCH[1] - 1)))
      else
        PARPORT_ERROR="--dos-device: under Wine only OSTRANE_LPTn=\\Device\\Parallel(n-1) can be defined before the start"
        return 1
      fi
      ;;
    esac
  done
  # Under the sim an absent port has no printer either.
  for port in 1 2 3; do
    [[ ${PORT_STATE[$port]} != absent ]] || unset "PORT_ID[$port]"
  done
  return 0
}

# LPT1..LPT3 (any case, a trailing colon allowed) to 1..3.
parport_port() {
  local name=${1%:}
  [[ ${name^^} =~ ^LPT([1-3])$ ]] || return 1
  echo "${BASH_REMATCH[1]}"
}

# A REGEDIT4 string: backslashes and quotes escaped.
reg_string() {
  local text=${1//\\/\\\\}
  printf '"%s"' "${text//\"/\\\"}"
}

# Windows form (Z:\...) of a Linux path.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Writes, as a .reg file at $1, the driver's configuration that parport_options set, with its
# state folder $2 (a Linux path) and its image $3, and the Windows version the program sees.
parport_reg_file() {
  local file=$1 state_dir=$2 image=$3 port
  {
    echo REGEDIT4
    echo
    echo "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\$PARPORT_SERVICE]"
    # An absolute path: a relative ImagePath does not load. The service manager reads it when
    # the session starts, so a new path counts from the next session on.
    echo "\"ImagePath\"=$(reg_string "$(windows_path "$image")")"
    for port in 1 2 3; do
      echo "\"LPT$port\"=\"${PORT_STATE[$port]}\""
      if [[ -n ${PORT_ID[$port]+set} ]]; then
        echo "\"LPT${port}Id\"=$(reg_string "${PORT_ID[$port]}")"
      else
        echo "\"LPT${port}Id\"=-"
      fi
    done
    printf '"WriteFails"=dword:%08x\n' "$WRITE_FAILS"
    printf '"Aliases"=dword:%08x\n' "$ALIASES"
    echo "\"StateDir\"=$(reg_string "\\??\\$(windows_path "$state_dir")")"
    echo
    echo '[-HKEY_CURRENT_USER\Software\Wine\AppDefaults\qx310wup.exe]'
    if [[ $FAMILY == 9x ]]; then
      echo '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\qx310wup.exe]'
      echo '"Version"="win98"'
    fi
    # Wine draws the windows' frames and captions itself, as a user sees them, with no window
    # manager on the virtual display.
    echo '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]'
    echo '"Decorated"="N"'
  } >"$file"
}

# A fresh Wine session with the driver running as parport_options configured it: ends the last
# session (the links a driver makes outlive a run until the server ends), removes the prefix's
# own port entries (a dosdevices entry wins over the driver), installs the service and starts it.
# $1: work folder (config.reg, state/); $2: the driver image. Returns 1 with PARPORT_ERROR set.
parport_session() {
  local work=$1 image=$2 name state
  timeout 30 "$WINESERVER" -k 2>/dev/null
  for name in lpt1 lpt2 lpt3 ostrane_lpt1 ostrane_lpt2 ostrane_lpt3; do
    rm -f "$WINEPREFIX/dosdevices/$name"
  done
  rm -rf "$work/state"
  mkdir -p "$work/state"
  parport_reg_file "$work/config.reg" "$work/state" "$image"
  # The frames Wine draws take their caption buttons' symbols from its Marlett font, which
  # Debian's Wine keeps outside the prefix where it does not look.
  if [[ -f /usr/share/wine/fonts/marlett.ttf && ! -f $WINEPREFIX/drive_c/windows/Fonts/marlett.ttf ]]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  # A persistent server: the driver host stays up between the program and the checks.
  "$WINESERVER" -p || {
    PARPORT_ERROR="wineserver did not start"
    return 1
  }
  # The service manager knows only the services it found when it started, or that it made
  # itself: a new prefix gets the driver's service through it, a kernel driver started on demand
  # once its configuration is in place. The first process of a session hands its output to
  # Wine's services, which keep it open.
  # Once the prefix's registry holds the service, it is known (this saves a process a run).
  if ! grep -qiF '\\Services\\'"$PARPORT_SERVICE]" "$WINEPREFIX/system.reg" 2>/dev/null &&
    ! timeout 60 "$WINE" sc query "$PARPORT_SERVICE" </dev/null >"$work/driver-install.txt" 2>&1; then
    timeout 60 "$WINE" sc create "$PARPORT_SERVICE" binPath= "$(windows_path "$image")" \
      type= kernel start= demand </dev/null >>"$work/driver-install.txt" 2>&1 || {
      PARPORT_ERROR="the driver's service cannot be made (see $work/driver-install.txt)"
      return 1
    }
  fi
  timeout 60 "$WINE" regedit /S "$(windows_path "$work/config.reg")" </dev/null >/dev/null 2>&1 || {
    PARPORT_ERROR="regedit could not import $work/config.reg"
    return 1
  }
  timeout 60 "$WINE" sc start "$PARPORT_SERVICE" </dev/null >"$work/driver-start.txt" 2>&1
  state=$(tr -d "\r" <"$work/driver-start.txt" | awk "/STATE/ { print \$4 }")
  [[ $state == RUNNING ]] || {
    PARPORT_ERROR="the driver $image did not start (service state \"$state\"; see $work/driver-start.txt)"
    return 1
  }
}

# What port $1 (1..3) received, as the driver wrote it (an absent file: nothing).
parport_received_file() { echo "$1/state/LPT$2.bin"; }
# The ID printer $2 reports now, or nothing when port $2 has no printer.
parport_id() { [[ ! -f $1/state/LPT$2.id ]] || cat "$1/state/LPT$2.id"; }
