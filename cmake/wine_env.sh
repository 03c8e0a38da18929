# The environment of every Wine run of the project, sourced by ./run and the Wine test scripts.
# The prefix lives outside the clone, one per user and Wine version, so only the first run on a
# machine pays for its boot; a crashing program ends at once instead of waiting in Wine's
# debugger.

wine_version=$(wine --version 2>/dev/null </dev/null || echo unknown)
export WINEPREFIX="${VARNELTIFF_WINE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/varneltiff}/$(
  printf '%s' "$wine_version" | tr -c 'A-Za-z0-9.+-' '_')"
export WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES="winedbg.exe=d"
# Wine takes its ANSI code page from the locale. A Japanese Windows, where the plug-in's hosts
# run, hands file names over in code page 932: so does this Wine, once wine_session.sh has made
# the Japanese locale beside the prefix.
# (Given to Wine alone: the shell itself would warn that it cannot use the locale.)
wine_locales="${WINEPREFIX}-locales"
wine_environment() {
  wine_env=(env)
  if [ -d "$wine_locales/ja_JP.UTF-8" ]; then
    wine_env+=("LOCPATH=$wine_locales" LC_ALL=ja_JP.UTF-8)
  fi
}
wine() {
  wine_environment
  "${wine_env[@]}" wine "$@"
}
# Where Wine's 32-bit loader runs under qemu-user, this keeps the address range Wine needs for its
# shared user data free of qemu's own mappings; elsewhere nothing reads it.
export QEMU_RESERVED_VA=0xf7000000

# How this machine runs 32-bit programs: "emulated" when binfmt_misc hands them to qemu-user,
# "native" when the kernel runs them itself, "none" when neither.
wine_mode() {
  local entry=/proc/sys/fs/binfmt_misc/qemu-i386
  if [ -r "$entry" ] && [ "$(head -n 1 "$entry")" = enabled ]; then
    echo emulated
  elif /usr/lib/wine/wine --version </dev/null >/dev/null 2>&1; then
    echo native
  else
    echo none
  fi
}
