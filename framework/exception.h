// The one error exception, and how runtime errors, system exceptions and
// failed assertions become it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace hi {

enum ExceptionKind : uint8_t {
  exc_out_of_memory = 2,
  exc_io = 3,
  exc_external = 4,
  exc_int_divide = 6,
  exc_range = 7,
  exc_int_overflow = 8,
  exc_invalid_float = 11,
  exc_float_divide = 12,
  exc_float_overflow = 13,
  exc_float_underflow = 14,
  exc_invalid_pointer = 15,
  exc_invalid_cast = 16,
  exc_access_violation = 18,
  exc_privilege = 19,
  exc_stack_overflow = 20,
  exc_control_break = 21,
  exc_variant = 22,
  exc_assertion = 25,
  exc_intf_not_supported = 27,
  exc_safecall = 32,
};

class Exception : public std::exception {
 public:
  Exception(uint8_t kind, std::string message, int32_t code = 0, const void* systemRecord = nullptr)
      : kind_(kind), code_(code), message_(std::move(message)), record_(systemRecord) {}

  uint8_t Kind() const { return kind_; }
  int32_t Code() const { return code_; }
  const std::string& Message() const { return message_; }
  const void* SystemRecord() const { return record_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  uint8_t kind_;
  int32_t code_;
  std::string message_;
  const void* record_;
};

// The message of an I/O error number.
std::string IoErrorMessage(int32_t code);

// Runtime error n: 1..24 by the fixed mapping, above that an I/O error.
Exception RuntimeError(int32_t n);

// The kind a runtime error number maps to (n >= 1).
uint8_t RuntimeErrorKind(int32_t n);

// The message of a kind that has a fixed text (not I/O, external, access
// violation or assertion).
std::string KindMessage(uint8_t kind);

// System exception codes of the platform, as numbers, so that the mapping
// is portable and testable anywhere.
namespace syscode {
constexpr uint32_t access_violation = 0xC0000005u;
constexpr uint32_t array_bounds = 0xC000008Cu;
constexpr uint32_t flt_denormal = 0xC000008Du;
constexpr uint32_t flt_divide = 0xC000008Eu;
constexpr uint32_t flt_inexact = 0xC000008Fu;
constexpr uint32_t flt_invalid = 0xC0000090u;
constexpr uint32_t flt_overflow = 0xC0000091u;
constexpr uint32_t flt_stack_check = 0xC0000092u;
constexpr uint32_t flt_underflow = 0xC0000093u;
constexpr uint32_t int_divide = 0xC0000094u;
constexpr uint32_t int_overflow = 0xC0000095u;
constexpr uint32_t priv_instruction = 0xC0000096u;
constexpr uint32_t stack_overflow = 0xC00000FDu;
}  // namespace syscode

// What an access violation knows about itself.
struct AccessViolationInfo {
  uintptr_t codeAddress = 0;
  std::string moduleName;  // file name without folder; empty when unknown
  bool write = false;
  uintptr_t dataAddress = 0;
};

// The exception a system exception code becomes. av is consulted only for
// an access violation; record is kept for external exceptions.
Exception SystemException(uint32_t code, const AccessViolationInfo& av = {}, const void* record = nullptr);

// "%s (%s, line %d)"; an empty text reads "Assertion failed".
std::string AssertionMessage(const std::string& text, const std::string& file, int line);
[[noreturn]] void AssertionFailed(const std::string& text, const char* file, int line);

// The text of the report shown for an exception that nothing caught.
std::string UncaughtReportText(const std::string& className, const std::string& modulePath, uintptr_t address,
                               const std::string& message);

// Pointer-width upper-case hex, as "%p" renders.
std::string HexPointer(uintptr_t p);

}  // namespace hi

// The toolkit's assertion: raises an assertion-failure Exception.
#define HI_ASSERT(cond, text)                                       \
  do {                                                              \
    if (!(cond)) ::hi::AssertionFailed((text), __FILE__, __LINE__); \
  } while (0)
