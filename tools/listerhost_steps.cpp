#include "tools/listerhost_steps.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace listerhost {

namespace {

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A decimal number within [low, high], optionally signed; nothing else.
bool ParseNumber(const std::string& s, long long low, long long high, long long& out) {
  const bool negative = !s.empty() && s[0] == '-';
  if (!AllDigits(negative ? s.substr(1) : s)) return false;
  errno = 0;
  long long v = std::strtoll(s.c_str(), nullptr, 10);
  if (errno == ERANGE || v < low || v > high) return false;
  out = v;
  return true;
}

// Splits "FILE[:FLAGS]" of open and next.
bool ParseFileAndFlags(const std::string& rest, Step& step, std::string& error) {
  step.file = rest;
  const size_t colon = rest.rfind(':');
  if (colon != std::string::npos && AllDigits(rest.substr(colon + 1))) {
    long long flags;
    if (!ParseNumber(rest.substr(colon + 1), 0, UINT32_MAX, flags)) {
      error = "show flags out of range";
      return false;
    }
    step.file = rest.substr(0, colon);
    step.hasFlags = true;
    step.flags = uint32_t(flags);
  }
  if (step.file.empty()) {
    error = "no file name";
    return false;
  }
  return true;
}

// Splits "A:B" into two numbers.
bool ParsePair(const std::string& rest, long long low, long long high, Step& step) {
  const size_t colon = rest.find(':');
  if (colon == std::string::npos) return false;
  long long a, b;
  if (!ParseNumber(rest.substr(0, colon), low, high, a) || !ParseNumber(rest.substr(colon + 1), low, high, b))
    return false;
  step.first = int32_t(a);
  step.second = int32_t(b);
  return true;
}

bool ParseKey(const std::string& rest, Step& step, std::string& error) {
  const size_t colon = rest.find(':');
  long long vk;
  if (!ParseNumber(rest.substr(0, colon), 1, 254, vk)) {
    error = "virtual key must be a number from 1 to 254";
    return false;
  }
  step.first = int32_t(vk);
  if (colon == std::string::npos) return true;
  const std::string mods = rest.substr(colon + 1);
  if (mods.empty()) {
    error = "empty modifiers";
    return false;
  }
  for (char c : mods) {
    bool* flag = c == 's' ? &step.shift : c == 'c' ? &step.ctrl : c == 'a' ? &step.alt : nullptr;
    if (!flag || *flag) {
      error = std::string("modifiers are a combination of s, c and a");
      return false;
    }
    *flag = true;
  }
  return true;
}

std::vector<std::string> SplitColons(const std::string& text) {
  std::vector<std::string> fields;
  for (size_t start = 0;;) {
    const size_t colon = text.find(':', start);
    fields.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) return fields;
    start = colon + 1;
  }
}

// "DELTA[:ctrl][:shift]": the delta as a WM_MOUSEWHEEL carries it.
bool ParseWheel(const std::string& rest, Step& step, std::string& error) {
  const std::vector<std::string> fields = SplitColons(rest);
  long long delta;
  if (!ParseNumber(fields[0], INT16_MIN, INT16_MAX, delta) || delta == 0) {
    error = "wheel:DELTA[:ctrl][:shift] with a delta from -32768 to 32767, not 0";
    return false;
  }
  step.first = int32_t(delta);
  for (size_t i = 1; i < fields.size(); ++i) {
    bool* flag = fields[i] == "ctrl" ? &step.ctrl : fields[i] == "shift" ? &step.shift : nullptr;
    if (!flag || *flag) {
      error = "wheel modifiers are ctrl and shift, each once";
      return false;
    }
    *flag = true;
  }
  return true;
}

bool ParseDrag(const std::string& rest, Step& step, std::string& error) {
  const std::vector<std::string> fields = SplitColons(rest);
  int32_t* const out[4] = {&step.first, &step.second, &step.third, &step.fourth};
  long long v[4];
  bool ok = fields.size() == 4;
  for (size_t i = 0; ok && i < 4; ++i) ok = ParseNumber(fields[i], 0, 16383, v[i]);
  if (!ok) {
    error = "drag:X1:Y1:X2:Y2 with client points from 0 to 16383";
    return false;
  }
  for (size_t i = 0; i < 4; ++i) *out[i] = int32_t(v[i]);
  return true;
}

// Splits "FILE:W:H[:OUT.bmp]": the sizes are the last two numeric fields
// followed by nothing or by a name ending in ".bmp", so that drive letters
// and other colons stay in both file names.
bool ParsePreview(const std::string& rest, bool withOutput, Step& step, std::string& error) {
  const std::vector<std::string> fields = SplitColons(rest);
  auto join = [&fields](size_t from, size_t to) {
    std::string text;
    for (size_t i = from; i < to; ++i) text += (i > from ? ":" : "") + fields[i];
    return text;
  };
  for (size_t i = fields.size() >= 3 ? fields.size() - 2 : 0; i >= 1 && fields.size() >= 3; --i) {
    const std::string output = join(i + 2, fields.size());
    std::string tail = output.size() > 4 ? output.substr(output.size() - 4) : std::string();
    for (char& c : tail) c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (!output.empty() && !(withOutput && tail == ".bmp")) continue;
    long long w, h;
    if (!ParseNumber(fields[i], 1, 16384, w) || !ParseNumber(fields[i + 1], 1, 16384, h)) continue;
    step.file = join(0, i);
    step.output = output;
    step.first = int32_t(w);
    step.second = int32_t(h);
    if (step.file.empty()) error = "no file name";
    return !step.file.empty();
  }
  error = "sizes from 1 to 16384 after the file name";
  return false;
}

}  // namespace

bool ParseStep(const std::string& text, Step& step, std::string& error) {
  step = Step();
  step.text = text;
  const size_t colon = text.find(':');
  const std::string name = text.substr(0, colon);
  const bool hasRest = colon != std::string::npos;
  const std::string rest = hasRest ? text.substr(colon + 1) : std::string();

  if (name == "close" || name == "stats" || name == "watch" || name == "spawns" || name == "font") {
    step.kind = name == "close"    ? StepKind::close
                : name == "stats"  ? StepKind::stats
                : name == "watch"  ? StepKind::watch
                : name == "spawns" ? StepKind::spawns
                                   : StepKind::font;
    if (hasRest) error = name + " takes no argument";
    return !hasRest;
  }
  if (name == "detect" || name == "shot") {
    step.kind = name == "detect" ? StepKind::detect : StepKind::shot;
    step.file = rest;
    if (rest.empty()) error = "no file name";
    return !rest.empty();
  }
  if (name == "open" || name == "next") {
    step.kind = name == "open" ? StepKind::open : StepKind::next;
    return ParseFileAndFlags(rest, step, error);
  }
  if (name == "wait") {
    step.kind = StepKind::wait;
    long long ms;
    if (!ParseNumber(rest, 0, 600000, ms)) {
      error = "milliseconds from 0 to 600000";
      return false;
    }
    step.first = int32_t(ms);
    return true;
  }
  if (name == "lister") {
    step.kind = StepKind::lister;
    long long n;
    if (!ParseNumber(rest, 0, MaxListers - 1, n)) {
      error = "lister:N with N from 0 to " + std::to_string(MaxListers - 1);
      return false;
    }
    step.first = int32_t(n);
    return true;
  }
  if (name == "key") {
    step.kind = StepKind::key;
    return ParseKey(rest, step, error);
  }
  if (name == "cmd") {
    step.kind = StepKind::cmd;
    if (!ParsePair(rest, INT32_MIN, UINT32_MAX, step)) {
      error = "cmd:N:PARAM with two numbers";
      return false;
    }
    return true;
  }
  if (name == "resize") {
    step.kind = StepKind::resize;
    if (!ParsePair(rest, 1, 16384, step)) {
      error = "resize:W:H with sizes from 1 to 16384";
      return false;
    }
    return true;
  }
  if (name == "preview") {
    step.kind = StepKind::preview;
    if (ParsePreview(rest, true, step, error)) return true;
    if (error.empty()) error = "preview:FILE:W:H[:OUT.bmp]";
    return false;
  }
  if (name == "previews") {
    step.kind = StepKind::previews;
    const size_t colon = rest.find(':');
    long long n;
    if (colon == std::string::npos || !ParseNumber(rest.substr(0, colon), 1, 1000000, n)) {
      error = "previews:N:FILE:W:H with N from 1 to 1000000";
      return false;
    }
    step.calls = int32_t(n);
    if (ParsePreview(rest.substr(colon + 1), false, step, error)) return true;
    if (error.empty()) error = "previews:N:FILE:W:H";
    return false;
  }
  if (name == "wheel") {
    step.kind = StepKind::wheel;
    return ParseWheel(rest, step, error);
  }
  if (name == "drag") {
    step.kind = StepKind::drag;
    return ParseDrag(rest, step, error);
  }
  if (name == "frames") {
    step.kind = StepKind::frames;
    const size_t colon = rest.find(':');
    long long ms;
    if (colon == std::string::npos || !ParseNumber(rest.substr(0, colon), 1, 600000, ms) || colon + 1 == rest.size()) {
      error = "frames:MS:PREFIX with milliseconds from 1 to 600000";
      return false;
    }
    step.first = int32_t(ms);
    step.output = rest.substr(colon + 1);
    return true;
  }
  error = "unknown step '" + name + "'";
  return false;
}

bool ParseOptions(std::vector<std::string>& args, Options& options, std::string& error) {
  options = Options();
  size_t used = 0;
  for (; used < args.size() && args[used].compare(0, 2, "--") == 0; ++used) {
    const std::string& a = args[used];
    if (a == "--ansi") {
      options.ansi = true;
    } else if (a.compare(0, 6, "--ini=") == 0 && a.size() > 6) {
      options.ini = a.substr(6);
    } else {
      error = "unknown option '" + a + "' (--ansi, --ini=PATH)";
      return false;
    }
  }
  args.erase(args.begin(), args.begin() + std::ptrdiff_t(used));
  return true;
}

std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string p = "Z:" + path;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

}  // namespace listerhost
