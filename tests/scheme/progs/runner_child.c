/* A console program for the process runner's tests. Its first argument
   chooses what it does with its standard streams. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void put(DWORD which, const char* bytes, DWORD count) {
  DWORD written = 0;
  WriteFile(GetStdHandle(which), bytes, count, &written, NULL);
}

static void put_text(DWORD which, const char* text) { put(which, text, (DWORD)strlen(text)); }

static void put_pid(void) {
  char line[64];
  sprintf(line, "pid %lu\n", (unsigned long)GetCurrentProcessId());
  put_text(STD_OUTPUT_HANDLE, line);
}

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (strcmp(mode, "bytes") == 0) {
    /* bytes N: N letters in one write */
    int n = argc > 2 ? atoi(argv[2]) : 0;
    char* buf = (char*)malloc((size_t)n + 1);
    for (int i = 0; i < n; ++i) buf[i] = (char)('a' + i % 26);
    put(STD_OUTPUT_HANDLE, buf, (DWORD)n);
    free(buf);
    return 0;
  }
  if (strcmp(mode, "zero") == 0) {
    put(STD_OUTPUT_HANDLE, "ab\0cd", 5);
    return 0;
  }
  if (strcmp(mode, "rounds") == 0) {
    /* rounds N: output first, then error, each round after a pause */
    int n = argc > 2 ? atoi(argv[2]) : 0;
    char token[32];
    for (int i = 0; i < n; ++i) {
      Sleep(15);
      sprintf(token, "O%d;", i);
      put_text(STD_OUTPUT_HANDLE, token);
      sprintf(token, "E%d;", i);
      put_text(STD_ERROR_HANDLE, token);
    }
    return 0;
  }
  if (strcmp(mode, "wait") == 0) {
    /* pid, then read the standard input until it ends */
    char buf[16];
    DWORD got = 0;
    put_pid();
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buf, sizeof buf, &got, NULL) && got > 0) {
    }
    return 3;
  }
  if (strcmp(mode, "pid") == 0) {
    /* pid [MS]: pid, then end by itself after MS milliseconds */
    put_pid();
    Sleep(argc > 2 ? (DWORD)atoi(argv[2]) : 0);
    return 5;
  }
  if (strcmp(mode, "line") == 0) {
    /* the command line exactly as received, in brackets */
    put_text(STD_OUTPUT_HANDLE, "[");
    put_text(STD_OUTPUT_HANDLE, GetCommandLineA());
    put_text(STD_OUTPUT_HANDLE, "]");
    return 0;
  }
  if (strcmp(mode, "signal") == 0) {
    /* signal H: set the event of that handle value, if this process has it */
    HANDLE h = (HANDLE)(ULONG_PTR)_strtoui64(argc > 2 ? argv[2] : "0", NULL, 10);
    put_text(STD_OUTPUT_HANDLE, SetEvent(h) ? "set" : "not set");
    return 0;
  }
  if (strcmp(mode, "quiet") == 0) return 0;
  return 9;
}
