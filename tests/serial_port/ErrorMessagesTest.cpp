// The code → exception → message table, and ErrorMsg's fallbacks.
#include <gtest/gtest.h>

#include <typeinfo>

#include "Adexcept.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The system's own wording for numbers the message table has no text for, and
// a number that has neither.
#ifdef _WIN32
// Wine words some numbers its own way.
bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
std::string SystemTextFor22() {
  return UnderWine() ? "Bad command." : "The device does not recognize the command.";
}
std::string SystemTextFor0() {
  return UnderWine() ? "Success." : "The operation completed successfully.";
}
constexpr int16_t kNumberWithoutAnyText = 32767;
#else
std::string SystemTextFor22() { return "Invalid argument"; }
std::string SystemTextFor0() { return "Success"; }
constexpr int16_t kNumberWithoutAnyText = 1002;
#endif

}  // namespace

namespace {

struct CodeCase {
  int code;
  const char* className;
  int ErrorCode;  // the field the exception carries
  std::string message;
};

void PrintTo(const CodeCase& c, std::ostream* os) { *os << c.code; }

class CheckExceptionTable : public testing::TestWithParam<CodeCase> {};

TEST_P(CheckExceptionTable, RaisesTheClassWithItsCodeAndMessage) {
  const CodeCase& c = GetParam();
  try {
    CheckException(nullptr, c.code);
    FAIL() << "no exception for " << c.code;
  } catch (const EAPDException& e) {
    EXPECT_STREQ(e.ClassName(), c.className);
    EXPECT_EQ(e.ErrorCode, c.ErrorCode);
    EXPECT_EQ(std::string(e.what()), c.message);
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.ClassName(), c.className);
    EXPECT_EQ(e.ErrorCode, c.ErrorCode);
    EXPECT_EQ(std::string(e.what()), c.message);
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), c.className);
    EXPECT_EQ(std::string(e.what()), c.message);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Codes, CheckExceptionTable,
    testing::Values(
        CodeCase{-2001, "EBadId", -2001, "ie_BadId - Specified comport doesn't exist"},
        CodeCase{-2007, "ECommNotOpen", -2007, "ie_NOpen - device not open"},
        CodeCase{-2008, "EAlreadyOpen", -2008, "ie_Open - device already open"},
        CodeCase{-2011, "ENoPortSelected", -2011,
                 "The ComNumber property of the TApdComPort has not been set"},
        CodeCase{-3006, "EOutputBufferTooSmall", -3006, "Output buffer too small for block"},
        CodeCase{-3007, "EBufferIsEmpty", -3007, "Buffer is empty"},
        CodeCase{-13868, "ETapiNoMem", -13868, "No memory"},
        CodeCase{-8, "EOutOfMemory", 0, "Out of memory"},
        CodeCase{-2, "EInOutError", 2, "File not found"},
        CodeCase{-5, "EInOutError", 5, "File access denied"},
        CodeCase{-160, "EInOutError", 160, "Device write error"},
        CodeCase{-161, "EInOutError", 161, "Device read error"},
        CodeCase{-162, "EInOutError", 162, "General failure"},
        // Not in the table: the system's own text for the number.
        CodeCase{-22, "EInOutError", 22, SystemTextFor22()},
        CodeCase{-1, "EAPDException", 0, "Klest exception"},
        CodeCase{-163, "EAPDException", 0, "Klest exception"},
        CodeCase{-1002, "EAPDException", 0, "Klest exception"},
        CodeCase{-40000, "EAPDException", 0, "Klest exception"}));
// clang-format on

TEST(CheckExceptionTable, PermissionDeniedHasItsOwnClassAndSaysHowToFixIt) {
  try {
    CheckException(nullptr, ecPermissionDenied);
    FAIL();
  } catch (const EPermissionDenied& e) {
    EXPECT_EQ(e.ErrorCode, ecPermissionDenied);
    const std::string text = e.what();
    EXPECT_NE(text.find("dialout"), std::string::npos) << text;
    EXPECT_NE(text.find("log in again"), std::string::npos) << text;
  }
}

TEST(CheckExceptionTable, ZeroAndPositiveCodesComeBackUnchanged) {
  EXPECT_EQ(CheckException(nullptr, 0), 0);
  EXPECT_EQ(CheckException(nullptr, 1), 1);
  EXPECT_EQ(CheckException(nullptr, 8192), 8192);
}

TEST(CheckExceptionTable, FamiliesCanBeCaughtByTheirBase) {
  EXPECT_THROW(CheckException(nullptr, ecBadId), EOpenComm);
  EXPECT_THROW(CheckException(nullptr, ecAlreadyOpen), EOpenComm);
  EXPECT_THROW(CheckException(nullptr, ecBufferIsEmpty), ESerialIO);
  EXPECT_THROW(CheckException(nullptr, ecTapiNoMem), ETapi);
  EXPECT_THROW(CheckException(nullptr, -161), Exception);
  EXPECT_THROW(CheckException(nullptr, ecOutOfMemory), Exception);
}

class ErrorMsgSign : public testing::TestWithParam<int16_t> {};

TEST_P(ErrorMsgSign, ACodeAndItsNegationShareOneText) {
  const int16_t code = GetParam();
  EXPECT_FALSE(ErrorMsg(code).empty());
  EXPECT_EQ(ErrorMsg(code), ErrorMsg(static_cast<int16_t>(-code)));
}

INSTANTIATE_TEST_SUITE_P(Codes, ErrorMsgSign,
                         testing::Values<int16_t>(2011, 2001, 3007, 161, 13868, 22));

TEST(ErrorMsg, FallsBackToTheSystemTextOrNothing) {
  EXPECT_EQ(ErrorMsg(22), SystemTextFor22());
  EXPECT_EQ(ErrorMsg(0), SystemTextFor0());
  // No table entry and no system text.
  EXPECT_EQ(ErrorMsg(kNumberWithoutAnyText), "");
  EXPECT_EQ(ErrorMsg(static_cast<int16_t>(-32768)), "");
  EXPECT_EQ(MessageNumberToString(22), "");
  EXPECT_EQ(MessageNumberToString(2011),
            "The ComNumber property of the TApdComPort has not been set");
}

}  // namespace
