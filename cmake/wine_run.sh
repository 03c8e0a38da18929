#!/usr/bin/env bash
# Runs one Windows program under Wine in the session wine_session.sh started (its prefix and
# display), and ends it if it runs too long: 10 minutes, or 30 under qemu-user, where Wine is slow.
#   wine_run.sh STATE_DIR PROGRAM.exe [ARGUMENTS...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_env.sh"
state=$1
shift
if [ -z "${DISPLAY:-}" ] && [ -f "$state/display" ]; then
  DISPLAY=$(cat "$state/display")
  export DISPLAY
fi
limit=600
[ "$(wine_mode)" = emulated ] && limit=1800
wine_environment
exec timeout -k 10 "$limit" "${wine_env[@]}" wine "$@"
