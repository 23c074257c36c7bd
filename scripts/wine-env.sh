# Sourced, with 32 or 64 as its argument: the environment that runs Windows programs under this
# project's Wine prefix of that width. Sets WINEPREFIX, WINEARCH, WINEDEBUG, WINEDLLOVERRIDES and
# `wine_loader`; for 32 bits on a machine whose 32-bit programs run under qemu-i386 it also
# preloads the library that mends qemu's faults (tests/tools/qemu_i386_fixes.cpp). With no
# argument it defines only the paths and i386_emulated.
#
# The prefix is always $ORVANTA_WINE_STATE/prefix32 or prefix64 (default under build/wine),
# whatever WINEPREFIX says: one left from a session of the other width must not lead a program
# into a prefix of the wrong width.

wine_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine_state=${ORVANTA_WINE_STATE:-$wine_root/build/wine}
# Built by scripts/setup-wine32.sh; $LIB lets the native 64-bit wineserver, which inherits the
# preload list, load an empty library of its own width instead.
qemu_fixes_dir=$wine_root/build/qemu-fixes
qemu_fixes_name=orvanta-qemu-fixes.so

# True when 32-bit programs on this machine run under qemu-i386 (an enabled binfmt_misc entry
# for i386 ELF files points at it), whether this project registered it or another.
i386_emulated() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] && [ "${entry##*/}" != register ] && [ "${entry##*/}" != status ] || continue
    grep -qx enabled "$entry" 2>/dev/null || continue
    grep -q '^interpreter .*qemu-i386' "$entry" 2>/dev/null && return 0
  done
  return 1
}

case ${1:-} in
  '') return 0 ;;  # the paths and i386_emulated only
  32 | 64)
    export WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"   # no Mono or Gecko prompts
    ;;&
  32)
    export WINEPREFIX=$wine_state/prefix32 WINEARCH=win32
    wine_loader=/usr/lib/wine/wine
    if i386_emulated; then
      export LD_PRELOAD="$qemu_fixes_dir/\$LIB/$qemu_fixes_name${LD_PRELOAD:+ $LD_PRELOAD}"
    fi
    ;;
  64)
    export WINEPREFIX=$wine_state/prefix64 WINEARCH=win64
    wine_loader=/usr/lib/wine/wine64
    ;;
  *)
    echo "wine-env.sh: give 32 or 64" >&2
    return 2
    ;;
esac
