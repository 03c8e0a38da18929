# The environment of every Wine run of the project, sourced by ./run and the Wine test scripts.
# The DLL runs in two kinds of prefix, named by the caller's wine_kind before sourcing this:
#   win32  a 32-bit prefix, as on 32-bit Windows: Wine's services are 32-bit programs too
#   wow64  a 64-bit prefix, as on 64-bit Windows, where most hosts run today: the 32-bit program
#          runs as a WoW64 process beside Wine's 64-bit services (SysWOW64, its registry views)
# Each prefix lives outside the clone, one per user, Wine version and kind, so only the first run
# on a machine pays for its boot; a crashing program ends at once instead of waiting in Wine's
# debugger.

wine_kind=${wine_kind:-win32}
wine_version=$(wine --version 2>/dev/null </dev/null || echo unknown)
wine_cache="${VARNELTIFF_WINE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/varneltiff}"
export WINEPREFIX="$wine_cache/$(printf '%s' "$wine_version" | tr -c 'A-Za-z0-9.+-' '_')-$wine_kind"
# Wine's own messages are off, but for the channels VARNELTIFF_WINEDEBUG asks for (warn+heap: the
# heap checks of the fuzz replay).
export WINEDEBUG=${VARNELTIFF_WINEDEBUG:--all} WINEDLLOVERRIDES="winedbg.exe=d"
# Wine's own programs (wineboot, regedit) run with the loader of the prefix's kind: in a 64-bit
# prefix the 64-bit one, which needs no emulator where the kernel cannot run 32-bit programs.
case "$wine_kind" in
  win32) export WINEARCH=win32; wine_system_loader=wine ;;
  wow64) export WINEARCH=win64; wine_system_loader=/usr/lib/wine/wine64 ;;
  *) echo "wine: unknown kind of prefix '$wine_kind' (win32 or wow64)" >&2; return 2 ;;
esac
# Wine takes its ANSI code page from the locale. A Japanese Windows, where the plug-in's hosts
# run, hands file names over in code page 932: so does this Wine, once wine_session.sh has made
# the Japanese locale beside the prefixes.
# (Given to Wine alone: the shell itself would warn that it cannot use the locale.)
wine_locales="$wine_cache/locales"
wine_environment() {
  wine_env=(env)
  if [ -d "$wine_locales/ja_JP.UTF-8" ]; then
    wine_env+=("LOCPATH=$wine_locales" LC_ALL=ja_JP.UTF-8)
  fi
}
# A Windows program of the project (always 32-bit): Debian's wine runs the 32-bit loader, which
# in a 64-bit prefix makes it a WoW64 process.
wine() {
  wine_environment
  "${wine_env[@]}" wine "$@"
}
# One of Wine's own programs, with the loader of the prefix's kind.
wine_system() {
  wine_environment
  "${wine_env[@]}" "$wine_system_loader" "$@"
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

# The version of a qemu-i386 program ("10.0.2"), or nothing.
qemu_version() {
  "$1" --version 2>/dev/null </dev/null | sed -n '1s/^qemu-i386[^ ]* version \([0-9][0-9.]*\).*/\1/p'
}

# The qemu-user that runs 32-bit programs here ("qemu-i386 10.0.2"), or nothing.
wine_emulator() {
  local entry=/proc/sys/fs/binfmt_misc/qemu-i386 interpreter version
  [ -r "$entry" ] || return 0
  interpreter=$(sed -n 's/^interpreter //p' "$entry")
  version=$(qemu_version "$interpreter")
  [ -z "$version" ] || echo "qemu-i386 $version"
}

# How the stage runs, for the record: "natively" or "under qemu-i386 10.0.2".
wine_how() {
  if [ "$(wine_mode)" = emulated ]; then
    echo "under $(wine_emulator)"
  else
    echo natively
  fi
}
