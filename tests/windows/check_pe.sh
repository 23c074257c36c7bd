#!/usr/bin/env bash
# Checks that a shipped program is what Windows XP SP3 and later can load: a 32-bit PE for
# subsystem 5.01 that imports only Windows' own DLLs (and those named) and no call XP lacks, and,
# given a limit, is no larger than that.
# Usage: check_pe.sh FILE console|windows MAX_BYTES|- [DLL...]
#   MAX_BYTES: the size it may have at most, or - for no limit; DLL: one it may import besides
#   Windows' own core (the command line's WS2_32, say)
set -u
[ $# -ge 3 ] || { echo "usage: check_pe.sh FILE console|windows MAX_BYTES|- [DLL...]"; exit 2; }
file=$1 subsystem=$2 max_bytes=$3
shift 3
extra=("$@")
[ "$max_bytes" = - ] && max_bytes=
dump=$(i686-w64-mingw32-objdump -p "$file") || exit 1
fail=0
expect() {  # expect PATTERN WHAT
  grep -qE "$1" <<<"$dump" || { echo "FAILED: $2"; fail=1; }
}
expect '^Magic[[:space:]]+010b' "PE32 (32-bit) image"
expect '^MajorSubsystemVersion[[:space:]]+5$' "subsystem major version 5"
expect '^MinorSubsystemVersion[[:space:]]+1$' "subsystem minor version 1"
expect '^MajorOSystemVersion[[:space:]]+5$' "operating system major version 5"
case $subsystem in
  console) expect '^Subsystem[[:space:]]+00000003' "console subsystem" ;;
  windows) expect '^Subsystem[[:space:]]+00000002' "GUI subsystem" ;;
esac

own='KERNEL32|USER32|GDI32|COMDLG32|COMCTL32|ADVAPI32|SHELL32|msvcrt'
for dll in "${extra[@]}"; do own+="|$dll"; done
allowed="^($own)\\.dll\$"
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
while read -r dll; do
  [[ ${dll,,} =~ ${allowed,,} ]] || { echo "FAILED: imports $dll"; fail=1; }
done <<<"$dlls"

# Calls that arrived after XP: a program that imports one does not start there.
for call in GetTickCount64 InitializeSRWLock AcquireSRWLockExclusive InitializeConditionVariable \
            InitOnceExecuteOnce CancelIoEx CreateEventExW CreateEventExA GetFileInformationByHandleEx \
            SetFileInformationByHandle CompareStringEx GetLocaleInfoEx; do
  grep -qE "[[:space:]]$call$" <<<"$dump" && { echo "FAILED: imports $call, absent on XP"; fail=1; }
done

size=$(stat -c %s "$file")
if [ -n "$max_bytes" ]; then
  [[ $max_bytes =~ ^[0-9]+$ ]] || { echo "usage: MAX_BYTES '$max_bytes' is not a number"; exit 2; }
  [ "$size" -le "$max_bytes" ] || { echo "FAILED: $size bytes, more than the $max_bytes allowed"; fail=1; }
fi

echo "$file: $size bytes${max_bytes:+ (at most $max_bytes)}; imports: $(tr '\n' ' ' <<<"$dlls")"
exit $fail
