/* Stands in for docrender.exe in the render element's tests: copied under
   that name into a folder, it misbehaves as the file mode.txt beside it
   says. It takes docrender's command line: DOC OUT.bmp --size WxH ... */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void put32(unsigned char* p, unsigned long v) {
  for (int i = 0; i < 4; ++i) p[i] = (unsigned char)(v >> (8 * i));
}

/* A BMP as docrender writes it, declaring w x h pixels, with `rows` rows
   of blue pixels and `extra` bytes after them. */
static void write_bmp(const char* name, long w, long h, long rows, long extra) {
  unsigned char head[54] = {'B', 'M'};
  unsigned long bytes = (unsigned long)(w * h * 4);
  put32(head + 2, 54 + bytes);
  put32(head + 10, 54);
  put32(head + 14, 40);
  put32(head + 18, (unsigned long)w);
  put32(head + 22, (unsigned long)h);
  head[26] = 1;
  head[28] = 32;
  put32(head + 34, bytes);
  FILE* f = fopen(name, "wb");
  if (!f) exit(7);
  fwrite(head, 1, sizeof head, f);
  unsigned char pixel[4] = {255, 0, 0, 255};
  for (long i = 0; i < w * rows; ++i) fwrite(pixel, 1, 4, f);
  for (long i = 0; i < extra; ++i) fputc(0, f);
  fclose(f);
}

static void read_mode(char* mode, size_t size) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
  while (n > 0 && path[n - 1] != '\\') --n;
  strcpy(path + n, "mode.txt");
  mode[0] = 0;
  FILE* f = fopen(path, "rb");
  if (!f) return;
  size_t got = fread(mode, 1, size - 1, f);
  fclose(f);
  while (got > 0 && (mode[got - 1] == '\n' || mode[got - 1] == '\r' || mode[got - 1] == ' ')) --got;
  mode[got] = 0;
}

int main(int argc, char** argv) {
  char mode[32];
  read_mode(mode, sizeof mode);
  const char* out = argc > 2 ? argv[2] : "";
  long w = 0, h = 0;
  for (int i = 1; i + 1 < argc; ++i)
    if (strcmp(argv[i], "--size") == 0) sscanf(argv[i + 1], "%ldx%ld", &w, &h);
  if (strcmp(mode, "crash") == 0) {
    int* volatile nowhere = NULL;
    *nowhere = 1;
    return 0;
  }
  if (strcmp(mode, "hang") == 0) Sleep(INFINITE);
  if (strcmp(mode, "flood") == 0) {
    char line[4096];
    memset(line, 'x', sizeof line);
    DWORD written = 0;
    for (;;) WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, sizeof line, &written, NULL);
  }
  if (strcmp(mode, "exit3") == 0) {
    fputs("docrender: the document could not be interpreted\n", stderr);
    return 3;
  }
  if (strcmp(mode, "truncated") == 0)
    write_bmp(out, w, h, h - 1, 0);
  else if (strcmp(mode, "huge") == 0)
    write_bmp(out, w, h, h, 4096);
  else if (strcmp(mode, "ok") == 0)
    write_bmp(out, w / 2 > 0 ? w / 2 : 1, h, h, 0);
  else
    return 9;
  printf("page 1 of 2, %ldx%ld px, 1 ms\n", w, h);
  return 0;
}
