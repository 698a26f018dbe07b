#include "framework/exception.h"

#include <gtest/gtest.h>

using namespace hi;

TEST(Exceptions, RuntimeErrorMapping) {
  for (int n = 1; n <= 24; ++n) {
    Exception e = RuntimeError(n);
    // Never an I/O error, and the kind lookup agrees with the exception made.
    EXPECT_NE(e.Kind(), exc_io) << n;
    EXPECT_EQ(e.Kind(), RuntimeErrorKind(n)) << n;
    EXPECT_EQ(e.Code(), 0) << n;
  }
  // A fault the processor reports reads the same as the runtime error
  // that names it.
  const std::pair<int, uint32_t> same[] = {
      {3, syscode::int_divide},    {4, syscode::array_bounds},      {5, syscode::int_overflow},
      {6, syscode::flt_invalid},   {7, syscode::flt_divide},        {8, syscode::flt_overflow},
      {9, syscode::flt_underflow}, {12, syscode::priv_instruction}, {14, syscode::stack_overflow}};
  for (auto [n, code] : same) {
    EXPECT_EQ(RuntimeError(n).Kind(), SystemException(code).Kind()) << n;
    EXPECT_EQ(RuntimeError(n).Message(), SystemException(code).Message()) << n;
  }
  EXPECT_EQ(RuntimeError(1).Kind(), exc_out_of_memory);
  EXPECT_EQ(RuntimeError(21).Kind(), exc_assertion);
  EXPECT_EQ(RuntimeError(22).Kind(), exc_external);
  EXPECT_EQ(RuntimeError(1).Message(), "Out of memory");
  EXPECT_EQ(RuntimeError(3).Message(), "Division by zero");
  EXPECT_EQ(RuntimeError(4).Message(), "Range check error");
  EXPECT_EQ(RuntimeError(10).Message(), "Invalid class typecast");
  EXPECT_EQ(RuntimeError(13).Message(), "^C");
  EXPECT_EQ(RuntimeError(15).Message(), "EVariant");
  EXPECT_EQ(RuntimeError(24).Message(), "Exception in safecall method");

  for (int n = 25; n < 300; ++n) {
    EXPECT_EQ(RuntimeErrorKind(n), exc_io) << n;
    EXPECT_EQ(RuntimeError(n).Code(), n) << n;
  }
  Exception io = RuntimeError(100);
  EXPECT_EQ(io.Kind(), exc_io);
  EXPECT_EQ(io.Code(), 100);
  EXPECT_EQ(io.Message(), "End of file");
  EXPECT_EQ(RuntimeError(101).Message(), "Disk full");
  EXPECT_EQ(RuntimeError(150).Message(), "I/O error 150");
  EXPECT_EQ(IoErrorMessage(2), "File not found");
  EXPECT_EQ(IoErrorMessage(3), "Invalid filename");
  EXPECT_EQ(IoErrorMessage(4), "Too many open files");
  EXPECT_EQ(IoErrorMessage(5), "File access denied");
  EXPECT_EQ(IoErrorMessage(25), "I/O error 25");
}

TEST(Exceptions, SystemExceptionMapping) {
  struct Row {
    uint32_t code;
    uint8_t kind;
    const char* message;
  };
  const Row rows[] = {
      {syscode::int_divide, exc_int_divide, "Division by zero"},
      {syscode::array_bounds, exc_range, "Range check error"},
      {syscode::int_overflow, exc_int_overflow, "Integer overflow"},
      {syscode::flt_inexact, exc_invalid_float, "Invalid floating point operation"},
      {syscode::flt_invalid, exc_invalid_float, "Invalid floating point operation"},
      {syscode::flt_stack_check, exc_invalid_float, "Invalid floating point operation"},
      {syscode::flt_divide, exc_float_divide, "Division by zero"},
      {syscode::flt_overflow, exc_float_overflow, "Floating point overflow"},
      {syscode::flt_denormal, exc_float_underflow, "Floating point underflow"},
      {syscode::flt_underflow, exc_float_underflow, "Floating point underflow"},
      {syscode::priv_instruction, exc_privilege, "Privileged instruction"},
      {syscode::stack_overflow, exc_stack_overflow, "Stack overflow"},
  };
  for (const Row& r : rows) {
    Exception e = SystemException(r.code);
    EXPECT_EQ(e.Kind(), r.kind) << std::hex << r.code;
    EXPECT_EQ(e.Message(), r.message);
  }
  int record;
  Exception ext = SystemException(0xE06D7363u, {}, &record);
  EXPECT_EQ(ext.Kind(), exc_external);
  EXPECT_EQ(ext.Message(), "External exception E06D7363");
  EXPECT_EQ(ext.SystemRecord(), &record);

  AccessViolationInfo av;
  av.codeAddress = 0x1234;
  av.moduleName = "cdrthumb.wlx";
  av.write = true;
  av.dataAddress = 0x10;
  Exception e = SystemException(syscode::access_violation, av);
  EXPECT_EQ(e.Kind(), exc_access_violation);
  EXPECT_EQ(e.Message(), "Access violation at address " + HexPointer(0x1234) +
                             " in module 'cdrthumb.wlx'. Write of address " + HexPointer(0x10));
  av.moduleName.clear();
  av.write = false;
  EXPECT_EQ(SystemException(syscode::access_violation, av).Message(),
            "Access violation at address " + HexPointer(0x1234) + ". Read of address " + HexPointer(0x10));
  EXPECT_EQ(HexPointer(0xAB).size(), sizeof(void*) * 2);
}

TEST(Exceptions, AssertionsAndReport) {
  EXPECT_EQ(AssertionMessage("Bitmap width must be > 0", "KOL.pas", 12), "Bitmap width must be > 0 (KOL.pas, line 12)");
  EXPECT_EQ(AssertionMessage("", "x.cpp", 3), "Assertion failed (x.cpp, line 3)");
  try {
    AssertionFailed("bad", "/some/folder/file.cpp", 77);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Kind(), exc_assertion);
    EXPECT_EQ(e.Message(), "bad (file.cpp, line 77)");
  }
  bool thrown = false;
  try {
    HI_ASSERT(1 + 1 == 3, "arithmetic");
  } catch (const Exception& e) {
    thrown = e.Message().rfind("arithmetic (exception_test.cpp, line ", 0) == 0;
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(UncaughtReportText("Exception", "C:\\plug\\cdrthumb.wlx", 0x10, "Out of memory"),
            "Exception Exception in module C:\\plug\\cdrthumb.wlx at " + HexPointer(0x10) + ".\nOut of memory");
}
