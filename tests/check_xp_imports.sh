#!/bin/sh
# Fails when the 32-bit programs import a function that Windows XP SP3 does not have: such
# a program does not even start there ("The procedure entry point ... could not be
# located"). Argument: the i686 build folder.
build="$1"
if [ ! -d "$build" ]; then
  echo "no 32-bit build at $build: nothing to check (scripts/build i686 makes it)"
  exit 77
fi
objdump=i686-w64-mingw32-objdump
if ! command -v "$objdump" >/dev/null 2>&1; then
  echo "$objdump is missing (binutils-mingw-w64-i686)" >&2
  exit 1
fi

# Vista and later, by DLL-independent name. Every msvcrt import ending in _s is refused
# too: XP's msvcrt.dll has none of the secure functions.
denied="
RegDeleteTreeW RegDeleteTreeA RegGetValueW RegGetValueA RegDeleteKeyExW RegSetKeyValueW
GetTickCount64 CompareStringOrdinal CompareStringEx InterlockedCompareExchange64
InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockExclusive
ReleaseSRWLockShared TryAcquireSRWLockExclusive TryAcquireSRWLockShared
InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
WakeConditionVariable WakeAllConditionVariable InitOnceExecuteOnce InitOnceBeginInitialize
InitOnceComplete GetFileInformationByHandleEx SetFileInformationByHandle
GetFinalPathNameByHandleW CreateSymbolicLinkW CancelIoEx CancelSynchronousIo
CreateEventExW CreateMutexExW CreateSemaphoreExW InitializeCriticalSectionEx
FlsAlloc FlsGetValue FlsSetValue FlsFree GetLocaleInfoEx LCMapStringEx
GetUserDefaultLocaleName LocaleNameToLCID LCIDToLocaleName GetErrorMode
QueryFullProcessImageNameW
SHGetKnownFolderPath SHCreateItemFromParsingName SHGetStockIconInfo
TaskDialog TaskDialogIndirect
"

status=0
for program in lurmo.exe lurmo-report.exe; do
  file="$build/$program"
  if [ ! -f "$file" ]; then
    echo "$file is missing" >&2
    status=1
    continue
  fi
  # In the import tables, "DLL Name: X" starts each DLL's list: "vma hint name" lines.
  # objdump translates these headings, so it runs in the C locale.
  imports=$(LC_ALL=C "$objdump" -p "$file" | awk '
    /^The Import Tables/ { inside = 1; next }
    /^(The |There is|PE File)/ { inside = 0 }
    inside && /^\tDLL Name: / { dll = tolower($3); next }
    inside && dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3 }')
  if [ -z "$imports" ]; then
    echo "$file: no imports could be read" >&2
    status=1
    continue
  fi
  found=$(printf '%s\n' "$imports" | awk -v denied="$denied" '
    BEGIN { n = split(denied, names, /[ \n]+/); for (i = 1; i <= n; i++) if (names[i] != "") deny[names[i]] = 1 }
    ($2 in deny) || ($1 == "msvcrt.dll" && $2 ~ /_s$/) { print "  " $1 " " $2 }')
  if [ -n "$found" ]; then
    echo "$program imports what Windows XP lacks:"
    printf '%s\n' "$found"
    status=1
  fi
  # The console report measures and writes files; no window code may come along with it.
  if [ "$program" = lurmo-report.exe ]; then
    windows=$(printf '%s\n' "$imports" | awk '$1 != "kernel32.dll" && $1 != "msvcrt.dll" { print "  " $1 }' | sort -u)
    if [ -n "$windows" ]; then
      echo "$program links window code:"
      printf '%s\n' "$windows"
      status=1
    fi
  fi
done
[ $status -eq 0 ] && echo "no import that Windows XP lacks"
exit $status
