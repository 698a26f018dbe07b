#include "framework/exception.h"

#include <cstdio>

namespace hi {

std::string HexPointer(uintptr_t p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*llX", int(sizeof(void*) * 2), static_cast<unsigned long long>(p));
  return buf;
}

std::string IoErrorMessage(int32_t code) {
  switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 100: return "End of file";
    case 101: return "Disk full";
    default: return "I/O error " + std::to_string(code);
  }
}

std::string KindMessage(uint8_t kind) {
  switch (kind) {
    case exc_out_of_memory: return "Out of memory";
    case exc_int_divide: return "Division by zero";
    case exc_range: return "Range check error";
    case exc_int_overflow: return "Integer overflow";
    case exc_invalid_float: return "Invalid floating point operation";
    case exc_float_divide: return "Division by zero";
    case exc_float_overflow: return "Floating point overflow";
    case exc_float_underflow: return "Floating point underflow";
    case exc_invalid_pointer: return "Invalid pointer operation";
    case exc_invalid_cast: return "Invalid class typecast";
    case exc_privilege: return "Privileged instruction";
    case exc_stack_overflow: return "Stack overflow";
    case exc_control_break: return "^C";
    case exc_variant: return "EVariant";
    case exc_assertion: return "Assertion failed";
    case exc_intf_not_supported: return "Interface not supported";
    case exc_safecall: return "Exception in safecall method";
    default: return std::string();
  }
}

static const uint8_t kRuntimeKinds[24] = {2,  15, 6,  7,  8,  11, 12, 13, 14, 16, 18, 19,
                                          21, 20, 22, 22, 22, 22, 22, 22, 25, 4,  27, 32};

uint8_t RuntimeErrorKind(int32_t n) { return (n >= 1 && n <= 24) ? kRuntimeKinds[n - 1] : uint8_t(exc_io); }

Exception RuntimeError(int32_t n) {
  if (n >= 1 && n <= 24) {
    uint8_t kind = kRuntimeKinds[n - 1];
    return Exception(kind, KindMessage(kind));
  }
  return Exception(exc_io, IoErrorMessage(n), n);
}

Exception SystemException(uint32_t code, const AccessViolationInfo& av, const void* record) {
  uint8_t kind;
  switch (code) {
    case syscode::int_divide: kind = exc_int_divide; break;
    case syscode::array_bounds: kind = exc_range; break;
    case syscode::int_overflow: kind = exc_int_overflow; break;
    case syscode::flt_inexact:
    case syscode::flt_invalid:
    case syscode::flt_stack_check: kind = exc_invalid_float; break;
    case syscode::flt_divide: kind = exc_float_divide; break;
    case syscode::flt_overflow: kind = exc_float_overflow; break;
    case syscode::flt_denormal:
    case syscode::flt_underflow: kind = exc_float_underflow; break;
    case syscode::priv_instruction: kind = exc_privilege; break;
    case syscode::stack_overflow: kind = exc_stack_overflow; break;
    case syscode::access_violation: {
      const std::string access = av.write ? "Write" : "Read";
      std::string msg = "Access violation at address " + HexPointer(av.codeAddress);
      if (!av.moduleName.empty()) msg += " in module '" + av.moduleName + "'";
      msg += ". " + access + " of address " + HexPointer(av.dataAddress);
      return Exception(exc_access_violation, msg);
    }
    default: {
      char buf[48];
      std::snprintf(buf, sizeof buf, "External exception %X", code);
      return Exception(exc_external, buf, 0, record);
    }
  }
  return Exception(kind, KindMessage(kind));
}

std::string AssertionMessage(const std::string& text, const std::string& file, int line) {
  return (text.empty() ? std::string("Assertion failed") : text) + " (" + file + ", line " + std::to_string(line) + ")";
}

void AssertionFailed(const std::string& text, const char* file, int line) {
  // Only the file name: the build folder is of no use to whoever reads it.
  std::string name = file ? file : "";
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  throw Exception(exc_assertion, AssertionMessage(text, name, line));
}

std::string UncaughtReportText(const std::string& className, const std::string& modulePath, uintptr_t address,
                               const std::string& message) {
  return "Exception " + className + " in module " + modulePath + " at " + HexPointer(address) + ".\n" + message;
}

}  // namespace hi
