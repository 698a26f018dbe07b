#include "framework/data.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace hi {

const char* const TypeNames[TypeNameCount] = {
    "NULL", "Integer", "String",  "Data", "Combo",  "StrList", "Icon", "Real", "Color",  "Script", "Stream", "Bitmap",
    "Wave", "Array",   "ComboEx", "Font", "Matrix", "Jpeg",    "Menu", "Code", "Object", "Type",   "Break"};

// ---- construction ---------------------------------------------------------

static void ClearRefs(TData& v) {
  v.ForwardLink = nullptr;
  v.NextValue = nullptr;
}

void MakeNull(TData& v) {
  v.Kind = data_null;
  ClearRefs(v);
}

void MakeInteger(TData& v, int32_t i) {
  v.Kind = data_int;
  v.ObjRef = nullptr;
  v.IntVal = i;
  ClearRefs(v);
}

void MakeString(TData& v, const std::string& s) {
  v.Kind = data_str;
  v.StrVal = s;
  ClearRefs(v);
}

void MakeReal(TData& v, double r) {
  v.Kind = data_real;
  v.RealVal = r;
  ClearRefs(v);
}

void MakeObjectRef(TData& v, TDataType kind, void* object) {
  v.Kind = kind;
  v.ObjRef = object;
  ClearRefs(v);
}

void MakeArray(TData& v, TArrayInterface* array) {
  v.Kind = data_array;
  v.ObjRef = array;
  ClearRefs(v);
}

void CopyData(TData& dest, const TData& source) {
  if (&dest != &source) dest = source;
  ClearRefs(dest);
}

// ---- text rules -----------------------------------------------------------

int32_t ParseInteger(const std::string& s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    negative = s[i] == '-';
    ++i;
  }
  uint32_t result = 0;  // unsigned so that overflow wraps as specified
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) result = result * 10u + uint32_t(s[i] - '0');
  if (negative) result = 0u - result;
  return int32_t(result);
}

double ParseReal(const std::string& s) {
  if (s.empty()) return 0.0;
  size_t i = 0;
  bool negative = false;
  if (s[0] == '-') {
    negative = true;
    i = 1;
  }
  double value = 0.0, scale = 1.0;
  bool fraction = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      if (fraction) {
        scale *= 0.1;
        value += (c - '0') * scale;
      } else {
        value = value * 10.0 + (c - '0');
      }
    } else if (c == '.') {
      if (fraction) break;
      fraction = true;
    } else if (c == 'E' || c == 'e') {
      value *= std::pow(10.0, double(ParseInteger(s.substr(i + 1))));
      break;
    }
    // Anything else ('+', ',', spaces...) is skipped without ending the scan.
  }
  return negative ? -value : value;
}

std::string FormatInteger(int32_t i) {
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, i);
  return std::string(buf, r.ptr);
}

std::string FormatReal(double r) {
  if (r == 0.0) return "0";
  if (!std::isfinite(r)) return std::isnan(r) ? "NAN" : (r < 0 ? "-INF" : "INF");
  // 15 significant digits, correctly rounded (ties to even) by to_chars.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(r), std::chars_format::scientific, 14);
  std::string sci(buf, res.ptr);
  size_t e = sci.find('e');
  std::string digits;
  for (size_t i = 0; i < e; ++i)
    if (sci[i] != '.') digits += sci[i];
  int exp10 = std::atoi(sci.c_str() + e + 1);
  std::string out = r < 0 ? "-" : "";
  std::string intPart, fracPart;
  if (exp10 >= 0) {
    size_t intLen = size_t(exp10) + 1;
    if (intLen >= digits.size()) {
      intPart = digits + std::string(intLen - digits.size(), '0');
    } else {
      intPart = digits.substr(0, intLen);
      fracPart = digits.substr(intLen);
    }
  } else {
    intPart = "0";
    fracPart = std::string(size_t(-exp10 - 1), '0') + digits;
  }
  while (!fracPart.empty() && fracPart.back() == '0') fracPart.pop_back();
  out += intPart;
  if (!fracPart.empty()) out += "." + fracPart;
  return out;
}

int64_t RoundHalfEven(double r) {
  if (!(std::fabs(r) < 9.2233720368547758e18)) return 0;
  double f = std::floor(r);
  double diff = r - f;
  int64_t n = int64_t(f);
  if (diff > 0.5 || (diff == 0.5 && (n & 1) != 0)) ++n;
  return n;
}

// ---- conversions ----------------------------------------------------------

int32_t ToInteger(const TData& v) {
  switch (TypeOf(v)) {
    case data_int: return v.IntVal;
    case data_str: return ParseInteger(v.StrVal);
    case data_real: return int32_t(uint32_t(uint64_t(RoundHalfEven(v.RealVal))));
    default: return 0;
  }
}

std::string ToString(const TData& v) {
  switch (TypeOf(v)) {
    case data_int: return FormatInteger(v.IntVal);
    case data_str: return v.StrVal;
    case data_real: return FormatReal(v.RealVal);
    default: return std::string();
  }
}

double ToReal(const TData& v) {
  switch (TypeOf(v)) {
    case data_int: return double(v.IntVal);
    case data_str: return ParseReal(v.StrVal);
    case data_real: return v.RealVal;
    default: return 0.0;
  }
}

int32_t ToIndex(const TData& v) {
  switch (TypeOf(v)) {
    case data_int: return v.IntVal;
    case data_real: return ToInteger(v);
    case data_str: {
      if (v.StrVal.empty()) return -1;
      int32_t n = ParseInteger(v.StrVal);
      if (n == 0 && v.StrVal[0] != '0') return -1;
      return n;
    }
    default: return -1;
  }
}

bool ToBoolean(const TData& v) { return !(TypeOf(v) == data_int && v.IntVal == 0); }

// ---- links and dispatch ---------------------------------------------------

TEventLink MakeLink(uint16_t index, PointHandler method, void* target) {
  TEventLink l;
  l.Method = method;
  l.Target = target;
  l.Index = index;
  return l;
}

static void NoDispatch(const TEventLink&, TData&) {}

static void StandardEventDispatch(const TEventLink& first, TData& v) {
  // Forwarding handlers mark the value and return; the chain runs here in
  // one loop, so a long chain never grows the stack.
  const TEventLink* link = &first;
  while (link != nullptr && link->Method != nullptr) {
    link->Method(link->Target, v, link->Index);
    if ((v.Kind & ForwardFlag) == 0) return;
    v.Kind = uint8_t(v.Kind - ForwardFlag);
    link = v.ForwardLink;
  }
}

static void StandardDataDispatch(const TEventLink& link, TData& v) {
  if (link.Method != nullptr) link.Method(link.Target, v, link.Index);
}

DispatchProc EventDispatch = &NoDispatch;
DispatchProc DataDispatch = &NoDispatch;

void InstallDispatchers() {
  EventDispatch = &StandardEventDispatch;
  DataDispatch = &StandardDataDispatch;
}

void ResetDispatchers() {
  EventDispatch = &NoDispatch;
  DataDispatch = &NoDispatch;
}

// ---- firing ---------------------------------------------------------------

void FireEvent(const TEventLink& link, TData& v) { EventDispatch(link, v); }

void FireCopy(const TEventLink& link, const TData& v) {
  if (link.empty()) return;
  TData copy = v;
  EventDispatch(link, copy);
}

void FireInteger(const TEventLink& link, int32_t i) {
  if (link.empty()) return;
  TData v;
  MakeInteger(v, i);
  EventDispatch(link, v);
}

void FireString(const TEventLink& link, const std::string& s) {
  if (link.empty()) return;
  TData v;
  MakeString(v, s);
  EventDispatch(link, v);
}

void FireReal(const TEventLink& link, double r) {
  if (link.empty()) return;
  TData v;
  MakeReal(v, r);
  EventDispatch(link, v);
}

void FireObjectRef(const TEventLink& link, TDataType kind, void* object) {
  if (link.empty()) return;
  TData v;
  MakeObjectRef(v, kind, object);
  EventDispatch(link, v);
}

void FireNull(const TEventLink& link) {
  if (link.empty()) return;
  TData v;
  EventDispatch(link, v);
}

// ---- forwarding -----------------------------------------------------------

void ForwardValue(TData& v, const TEventLink& link) {
  v.Kind = uint8_t(v.Kind | ForwardFlag);
  v.ForwardLink = &link;
}

void ForwardNull(TData& v, const TEventLink& link) {
  v.Kind = data_null | ForwardFlag;
  v.ForwardLink = &link;
}

void ForwardCopy(TData& v, const TEventLink& link, const TData& source) {
  if (&v != &source) v = source;
  v.Kind = uint8_t(v.Kind | ForwardFlag);
  v.ForwardLink = &link;
}

void ForwardInteger(TData& v, const TEventLink& link, int32_t i) {
  v.Kind = data_int | ForwardFlag;
  v.ObjRef = nullptr;
  v.IntVal = i;
  v.NextValue = nullptr;
  v.ForwardLink = &link;
}

void ForwardString(TData& v, const TEventLink& link, const std::string& s) {
  v.Kind = data_str | ForwardFlag;
  v.StrVal = s;
  v.NextValue = nullptr;
  v.ForwardLink = &link;
}

// ---- reading --------------------------------------------------------------

// Pulls through a linked data point; true when it gave an answer (not Break).
static bool PullAnswer(const TEventLink& link, TData& answer) {
  if (link.empty()) return false;
  MakeNull(answer);
  DataDispatch(link, answer);
  return TypeOf(answer) != data_break;
}

// Drops the head of an event value: the next value of a chain moves up.
static void Consume(TData& v) {
  if (v.NextValue != nullptr) {
    TData* next = v.NextValue;
    v = *next;
  } else {
    v.Kind = data_null;
  }
}

std::string ReadString(TData& v, const TEventLink& link, const std::string& def) {
  TData answer;
  if (PullAnswer(link, answer)) return ToString(answer);
  if (!def.empty()) return def;
  if (TypeOf(v) == data_null) return std::string();
  std::string s = ToString(v);
  Consume(v);
  return s;
}

double ReadReal(TData& v, const TEventLink& link, double def) {
  TData answer;
  if (PullAnswer(link, answer)) return ToReal(answer);
  if (def != 0.0) return def;
  if (TypeOf(v) == data_null) return 0.0;
  double r = ToReal(v);
  Consume(v);
  return r;
}

void ReadData(TData& v, const TEventLink& link, const TData* def, TData& result) {
  MakeNull(result);
  result.ObjRef = nullptr;
  TData answer;
  if (PullAnswer(link, answer)) {
    result = answer;
    result.NextValue = nullptr;
    return;
  }
  if (def != nullptr && TypeOf(*def) != data_null) {
    result = *def;
    return;
  }
  if (TypeOf(v) == data_null) {
    v.NextValue = nullptr;
    result = v;
    result.Kind = data_null;
    result.ForwardLink = nullptr;
    return;
  }
  result = v;
  result.NextValue = nullptr;
  result.Kind = TypeOf(v);
  result.ForwardLink = nullptr;
  Consume(v);
}

void* ReadObjectRef(TData& v, const TEventLink& link, TDataType kind, void* def) {
  TData answer;
  if (PullAnswer(link, answer)) return TypeOf(answer) == kind ? answer.ObjRef : nullptr;
  if (def != nullptr) return def;
  if (TypeOf(v) != kind) return def;
  void* object = v.ObjRef;
  Consume(v);
  return object;
}

TArrayInterface* ReadArray(const TEventLink& link) {
  if (link.empty()) return nullptr;
  TData answer;
  DataDispatch(link, answer);
  return TypeOf(answer) == data_array ? static_cast<TArrayInterface*>(answer.ObjRef) : nullptr;
}

void PullData(TData& result, const TEventLink& link) {
  if (link.empty()) {
    result.Kind = data_break;
    return;
  }
  DataDispatch(link, result);
}

// ---- start-up list --------------------------------------------------------

namespace {
struct StartupEntry {
  StartupHandler handler;
  void* owner;
};
std::vector<StartupEntry>& StartupList() {
  static std::vector<StartupEntry> list;
  return list;
}
}  // namespace

bool StartupDone = false;

void AddStartupHandler(StartupHandler handler, void* owner) { StartupList().push_back({handler, owner}); }

void RunStartupHandlers() {
  // Handlers may register more handlers; those run in the same pass.
  auto& list = StartupList();
  for (size_t i = 0; i < list.size(); ++i) {
    StartupEntry e = list[i];
    e.handler(e.owner);
  }
  list.clear();
  StartupDone = true;
}

size_t PendingStartupHandlers() { return StartupList().size(); }

}  // namespace hi
