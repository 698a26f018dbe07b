#!/usr/bin/env bash
# Product code names files, folders, modules and processes only through the
# system's wide calls: an ANSI call would turn every character outside the
# ANSI code page into '?', which the archiver then takes as a pattern.
# Prints each offending line; exit 1 when there is one.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT" || exit 2

rooms=()
for d in framework toolkit imaging docreader painter scheme plugin dll docrender; do
  [ -d "$d" ] && rooms+=("$d")
done

# The ANSI forms of the calls that take or return a name.
calls='CreateFile|DeleteFile|CopyFile(Ex)?|MoveFile(Ex)?|ReplaceFile|GetFileAttributes(Ex)?|SetFileAttributes'
calls+='|FindFirstFile(Ex)?|FindNextFile|CreateDirectory(Ex)?|RemoveDirectory|GetTempPath|GetTempFileName'
calls+='|GetWindowsDirectory|GetSystemDirectory|GetSystemWindowsDirectory|GetCurrentDirectory|SetCurrentDirectory'
calls+='|GetFullPathName|GetLongPathName|GetShortPathName|SearchPath|GetModuleFileName|GetModuleHandle(Ex)?'
calls+='|LoadLibrary(Ex)?|CreateProcess|CreateProcessAsUser|ShellExecute(Ex)?|SHFileOperation'
calls+='|GetEnvironmentVariable|SetEnvironmentVariable|ExpandEnvironmentStrings|CreateJobObject|OpenJobObject'
calls+='|LoadImage|LoadBitmap|FindResource(Ex)?|MessageBox(Ex)?|SetWindowText|GetWindowText|CreateWindowEx'
calls+='|RegisterClass(Ex)?|UnregisterClass'
ansi="\\b($calls)A[[:space:]]*\\("
# The C and C++ libraries open files by ANSI names on Windows. The POSIX
# side of a platform seam (*_nodevice.cpp) is not built there.
narrow='\b(std::)?(fopen|freopen|_open|_sopen|ifstream|ofstream|fstream)\b'

found=0
if [ ${#rooms[@]} -gt 0 ]; then
  grep -rnE --include='*.cpp' --include='*.h' --include='*.c' "$ansi" "${rooms[@]}" && found=1
  grep -rnE --include='*.cpp' --include='*.h' --include='*.c' --exclude='*_nodevice.cpp' "$narrow" "${rooms[@]}" &&
    found=1
fi
if [ $found -ne 0 ]; then
  echo "check-wide-calls: the lines above call the system with an ANSI name; use the wide call (toolkit/wide.h)" >&2
  exit 1
fi
echo "check-wide-calls: no ANSI file, folder, module or process call in ${rooms[*]}"
