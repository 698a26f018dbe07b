/* Stands in for 7za.exe in the tests of a misbehaving archiver. What it does
   comes from the environment variable MISBEHAVE: hang, crash, child (starts
   a hanging copy of itself, then hangs) or flood (writes without end). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(void) {
  const char* mode = getenv("MISBEHAVE");
  if (!mode) mode = "hang";
  if (strcmp(mode, "crash") == 0) {
    volatile int* nowhere = NULL;
    *nowhere = 1;
  }
  if (strcmp(mode, "child") == 0) {
    char self[MAX_PATH];
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    GetModuleFileNameA(NULL, self, MAX_PATH);
    SetEnvironmentVariableA("MISBEHAVE", "hang");
    if (CreateProcessA(self, NULL, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
  }
  if (strcmp(mode, "flood") == 0) {
    static char line[4096];
    memset(line, 'x', sizeof line);
    for (;;) fwrite(line, 1, sizeof line, stdout);
  }
  Sleep(INFINITE);
  return 0;
}
