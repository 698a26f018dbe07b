// The command line of the host simulator: one step per argument, in the
// fixed form that scripts rely on. Parsing is portable so that it can be
// checked without a window system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace listerhost {

// Lister windows one host process may have open at once, as when the user
// opens several documents one after the other.
constexpr int MaxListers = 8;

enum class StepKind {
  detect,
  open,
  next,
  wait,
  key,
  cmd,
  shot,
  resize,
  close,
  stats,
  lister,
  watch,
  spawns,
  font,
  preview,
  previews,  // the file panel's thumbnail calls
  wheel,
  drag,
  frames
};

struct Step {
  StepKind kind = StepKind::close;
  std::string text;       // the argument as typed, echoed before the result
  std::string file;       // detect, open, next, shot, preview, previews: as given (see WindowsPath)
  std::string output;     // preview: the BMP file to save the bitmap in, or empty; frames: the files' prefix
  bool hasFlags = false;  // open, next: a numeric field followed the file name
  uint32_t flags = 0;
  int32_t first = 0;   // wait, frames: milliseconds; key: virtual key; cmd: command; resize, preview[s]: width;
                       // lister: number; wheel: delta; drag: X1
  int32_t second = 0;  // cmd: parameter; resize, preview[s]: height; drag: Y1
  int32_t third = 0, fourth = 0;                  // drag: X2, Y2
  int32_t calls = 0;                              // previews: calls on each of the two threads
  bool shift = false, ctrl = false, alt = false;  // key and wheel modifiers
};

// What comes before the plugin file: "--ansi" and "--ini=PATH" (the INI file
// named in ListSetDefaultParams, as given: see WindowsPath), in any order.
struct Options {
  bool ansi = false;
  std::string ini;
};

// Parses one step. The name ends at the first colon; for open and next the
// text after the last colon is the show flags only when it is a number, so
// that drive letters and other colons stay part of the file name. The panel
// thumbnail steps are "preview:FILE:W:H[:OUT.bmp]" (one call on a worker
// thread) and "previews:N:FILE:W:H" (N calls on each of two threads at
// once); their sizes are the last two numeric fields. The mouse steps are
// "wheel:DELTA[:ctrl][:shift]" and "drag:X1:Y1:X2:Y2" (client points of the
// viewer window); "frames:MS:PREFIX" captures the Lister for MS
// milliseconds. False and a reason when the step is not understood.
bool ParseStep(const std::string& text, Step& step, std::string& error);

// Takes the options off the front of the arguments. False and a reason on
// an option that is not understood.
bool ParseOptions(std::vector<std::string>& args, Options& options, std::string& error);

// A Unix path ("/x/y") as the Windows path of the same file under Wine
// ("Z:\x\y"); any other text is returned unchanged.
std::string WindowsPath(const std::string& path);

}  // namespace listerhost
