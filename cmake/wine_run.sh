#!/usr/bin/env bash
# Runs one Windows program under Wine in the session wine_session.sh started (its prefix and
# display), and ends it if it runs too long: 10 minutes, or 30 under qemu-user.
#   wine_run.sh STATE_DIR PROGRAM.exe [ARGUMENTS...]
# The program writes into files that are shown as they grow, never into this script's own
# streams: Wine may start its server or services from inside the program (after a crash of one,
# say), and whatever it starts inherits the program's streams. Holding a pipe of CTest's, such a
# process would keep the test from ending after the program had.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=$1
shift
wine_kind=$(basename "$state")
source "$here/wine_env.sh" || exit 2
if [ -z "${DISPLAY:-}" ] && [ -f "$state/display" ]; then
  DISPLAY=$(cat "$state/display")
  export DISPLAY
fi
limit=600
[ "$(wine_mode)" = emulated ] && limit=1800
wine_environment

streams=$(mktemp -d "${TMPDIR:-/tmp}/varneltiff-wine-run.XXXXXX")
trap 'rm -rf "$streams"' EXIT
: >"$streams/out"
: >"$streams/err"
timeout -k 10 "$limit" "${wine_env[@]}" wine "$@" >"$streams/out" 2>"$streams/err" &
program=$!
# Stopped itself (CTest's limit, Ctrl-C), the script stops the program first.
trap 'kill -TERM $program 2>/dev/null; wait $program; exit 143' TERM INT HUP
# tail ends once the program has and the last bytes are shown.
tail -s 0.2 --pid=$program -n +1 -f "$streams/out" &
shown_out=$!
tail -s 0.2 --pid=$program -n +1 -f "$streams/err" >&2 &
shown_err=$!
wait $program
status=$?
wait $shown_out $shown_err
exit $status
