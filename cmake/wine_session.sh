#!/usr/bin/env bash
# Starts or stops a Wine session the Windows tests run in:
#   wine_session.sh boot STATE_DIR    boot the prefix if it is new, and nothing more
#   wine_session.sh start STATE_DIR   the same, then start its server and services with every
#                                     stream detached, and an X display if none is set
#   wine_session.sh stop STATE_DIR    stop this prefix's server and the display started here
# The last part of STATE_DIR's name is the kind of prefix, win32 or wow64 (cmake/wine_env.sh);
# STATE_DIR keeps the session's display. Wine's background processes inherit the streams of
# whoever starts them: started from a test, they would hold CTest's pipe open and the test would
# never end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
action=$1 state=$2
wine_kind=$(basename "$state")
source "$here/wine_env.sh"
mkdir -p "$state"

# The prefix's own settings: the panel asks for the Windows Japanese UI fonts, shown with the IPA
# fonts installed here; and windows are left unmanaged, since no window manager runs on the test
# display and Wine would otherwise wait two seconds for one whenever a window goes.
settings() {
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"ＭＳ Ｐゴシック"="IPAPGothic"' '"ＭＳ ゴシック"="IPAGothic"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"'
}

# The Japanese locale Wine runs in (cmake/wine_env.sh), made from the system's locale sources
# once for both kinds of prefix.
make_locale() {
  [ -d "$wine_locales/ja_JP.UTF-8" ] && return 0
  mkdir -p "$wine_locales"
  (
    flock 8
    if [ ! -d "$wine_locales/ja_JP.UTF-8" ]; then
      rm -rf "$wine_locales/ja_JP.UTF-8.new"
      localedef -i ja_JP -f UTF-8 "$wine_locales/ja_JP.UTF-8.new" &&
        mv "$wine_locales/ja_JP.UTF-8.new" "$wine_locales/ja_JP.UTF-8"
    fi
  ) 8>"$wine_locales.lock" ||
    { echo "wine session: cannot make the ja_JP.UTF-8 locale" >&2; return 1; }
}

boot_prefix() {
  make_locale
  local ready="$WINEPREFIX/varneltiff-ready" version
  version=$(settings | md5sum | cut -d' ' -f1)
  [ -f "$ready" ] && [ "$(cat "$ready")" = "$version" ] && return 0
  if [ ! -f "$ready" ]; then
    echo "wine session: booting a new $wine_kind prefix in $WINEPREFIX ($(wine_how))"
    mkdir -p "$WINEPREFIX"
    wine_system wineboot -i </dev/null >/dev/null 2>&1 || true
  fi
  settings | iconv -f UTF-8 -t UTF-16 >"$WINEPREFIX/varneltiff.reg"
  wine_system regedit /S "$WINEPREFIX/varneltiff.reg" </dev/null >/dev/null 2>&1
  # The registry reaches the prefix's files when the server ends.
  timeout 300 wineserver -w </dev/null >/dev/null 2>&1 || true
  echo "$version" >"$ready"
}

start_display() {
  [ -n "${DISPLAY:-}" ] && { echo "$DISPLAY" >"$state/display"; return 0; }
  # A session started again keeps its display.
  if [ -f "$state/xvfb.pid" ] && [ -f "$state/display" ] &&
    kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
    return 0
  fi
  local number
  exec 3> >(cat >"$state/display-number")
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  echo $! >"$state/xvfb.pid"
  exec 3>&-
  for _ in $(seq 100); do
    number=$(cat "$state/display-number" 2>/dev/null || true)
    [ -n "$number" ] && break
    sleep 0.1
  done
  [ -n "$number" ] || { echo "wine session: Xvfb did not start" >&2; return 1; }
  echo ":$number" >"$state/display"
}

# One boot at a time per prefix, whoever asks. The lock goes before the display and the server
# start: they would inherit it and hold it for as long as they run, and the next start would wait
# for them.
lock_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
}
unlock_prefix() {
  exec 9>&-
}

# A caller that started the session itself (./run, for the tests and the package test after
# them) keeps it across CTest's fixtures.
if [ -n "${VARNELTIFF_WINE_SESSION_KEPT:-}" ] && [ "$action" != boot ]; then
  echo "wine session: kept by the caller ($(cat "$state/display" 2>/dev/null || echo "no display"))"
  exit 0
fi

case "$action" in
  boot)
    lock_prefix
    boot_prefix
    unlock_prefix
    ;;
  start)
    lock_prefix
    boot_prefix
    unlock_prefix
    start_display
    export DISPLAY
    DISPLAY=$(cat "$state/display")
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine_system wineboot </dev/null >/dev/null 2>&1 || true
    echo "wine session: $wine_kind prefix $WINEPREFIX, 32-bit programs $(wine_how), display $DISPLAY"
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if [ -f "$state/xvfb.pid" ]; then
      kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
      rm -f "$state/xvfb.pid"
    fi
    rm -f "$state/display" "$state/display-number"
    ;;
  *)
    echo "usage: wine_session.sh boot|start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
