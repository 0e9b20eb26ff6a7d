// The Windows edges of text: UTF-8 inside, UTF-16 at the ...W calls. Paths
// in Cyrillic, CJK and emoji (a surrogate pair) open as the user named them,
// system texts come in the first language Windows has, and a console close
// holds the process until the stop path has run. Runs under wine.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which the SetupAPI headers need.
#include <devguid.h>
#include <setupapi.h>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "Console.h"
#include "PortList.h"
#include "RegularFile.h"
#include "SystemErrorText.h"
#include "Utf8Path.h"
#include "WaitUntil.h"
#include "win32/ConsoleEvents.h"
#include "win32/SystemMessageLookup.h"
#include "win32/Utf16Text.h"

namespace {

// A fresh folder of this process under the temp folder, removed with its
// content at the end.
class WideTempDir {
 public:
  WideTempDir() {
    static int made = 0;
    dir_ = std::filesystem::temp_directory_path() /
           (L"zarn-unicode-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++made));
    std::filesystem::create_directories(dir_);
  }
  ~WideTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::filesystem::path operator/(const std::wstring& name) const { return dir_ / name; }

 private:
  std::filesystem::path dir_;
};

// --- UTF-8 <-> UTF-16.

struct TextRow {
  const char* name;
  std::string utf8;
  std::wstring utf16;
};

// The names a user gives; the UTF-8 bytes are spelt out so that no source
// charset stands between the two columns.
const TextRow kNames[] = {
    {"Empty", "", L""},
    {"Ascii", "plain.zarn", L"plain.zarn"},
    {"Cyrillic", "\xd0\x9f\xd1\x80\xd0\xbe\xd1\x88\xd0\xb8\xd0\xb2\xd0\xba\xd0\xb0.zarn",
     L"\u041f\u0440\u043e\u0448\u0438\u0432\u043a\u0430.zarn"},
    {"Cjk", "\xe5\x9b\xba\xe4\xbb\xb6.zarn", L"\u56fa\u4ef6.zarn"},
    {"Emoji", "\xf0\x9f\x9a\x80 fw.zarn", L"\xd83d\xde80 fw.zarn"},
};

void PrintTo(const TextRow& row, std::ostream* out) { *out << row.name; }

class TextBothWays : public testing::TestWithParam<TextRow> {};

TEST_P(TextBothWays, ConvertsAndRoundTrips) {
  const TextRow& row = GetParam();
  EXPECT_EQ(WideFromUtf8(row.utf8), row.utf16);
  EXPECT_EQ(Utf8FromWide(row.utf16), row.utf8);
}

INSTANTIATE_TEST_SUITE_P(Names, TextBothWays, testing::ValuesIn(kNames),
                         [](const testing::TestParamInfo<TextRow>& info) {
                           return std::string(info.param.name);
                         });

TEST(TextBothWaysInvalid, InvalidInputBecomesTheReplacementCharacter) {
  EXPECT_EQ(WideFromUtf8("a\xff-"), L"a\xfffd-");
  EXPECT_EQ(WideFromUtf8("\xd0"), L"\xfffd");                          // a cut-off sequence
  EXPECT_EQ(Utf8FromWide(std::wstring(L"a\xd800")), "a\xef\xbf\xbd");  // an unpaired surrogate
}

struct ValueRow {
  const char* name;
  std::string bytes;
  std::wstring text;
};

class RegistryValueText : public testing::TestWithParam<ValueRow> {};

TEST_P(RegistryValueText, EndsAtTheFirstNulOrTheData) {
  EXPECT_EQ(WideFromValueBytes(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryValueText,
    testing::Values(ValueRow{"Terminated",
                             std::string("C\0O\0M\0"
                                         "7\0\0\0",
                                         10),
                             L"COM7"},
                    ValueRow{"Unterminated",
                             std::string("C\0O\0M\0"
                                         "7\0",
                                         8),
                             L"COM7"},
                    ValueRow{"OddByteDropped",
                             std::string("C\0O\0M\0"
                                         "7\0\x01",
                                         9),
                             L"COM7"},
                    ValueRow{"StopsAtEmbeddedNul", std::string("A\0\0\0B\0", 6), L"A"},
                    ValueRow{"Cyrillic", std::string("\x1f\x04\x40\x04", 4), L"\u041f\u0440"},
                    ValueRow{"Nothing", std::string(), L""}),
    [](const testing::TestParamInfo<ValueRow>& info) { return std::string(info.param.name); });

// --- Files named outside the ANSI code page.

class NamedFile : public testing::TestWithParam<TextRow> {
 protected:
  // Makes the file through the UTF-16 call, as Explorer would; returns its
  // UTF-8 path.
  std::string MakeFile(const TextRow& row, const std::string& content) {
    const std::wstring path = (folder_ / row.utf16).wstring();
    std::FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) return {};
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
    return Utf8FromWide(path);
  }

  WideTempDir folder_;
};

TEST_P(NamedFile, OpensByItsUtf8Path) {
  const std::string path = MakeFile(GetParam(), "image bytes");
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(std::filesystem::is_regular_file(PathFromUtf8(path)));
  std::string problem;
  std::FILE* file = OpenRegularFile(path, problem);
  ASSERT_NE(file, nullptr) << problem;
  char read[32] = {};
  EXPECT_EQ(std::fread(read, 1, sizeof read, file), 11u);
  EXPECT_EQ(std::string(read), "image bytes");
  std::fclose(file);
}

TEST_P(NamedFile, AMissingOneIsNotFoundInsteadOfAnother) {
  const std::string path = Utf8FromWide((folder_ / GetParam().utf16).wstring());
  std::string problem;
  EXPECT_EQ(OpenRegularFile(path, problem), nullptr);
  EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(path)));
  // The system's own words, in UTF-8, ready to follow "Cannot open file ...: ".
  std::string expected = SystemErrorDescription(ERROR_FILE_NOT_FOUND);
  expected.erase(expected.find_last_not_of(".\r\n") + 1);
  EXPECT_EQ(problem, expected);
}

INSTANTIATE_TEST_SUITE_P(Names, NamedFile, testing::ValuesIn(kNames + 1, std::end(kNames)),
                         [](const testing::TestParamInfo<TextRow>& info) {
                           return std::string(info.param.name);
                         });

TEST(NamedFolder, IsRefusedAsADirectory) {
  WideTempDir folder;
  const std::wstring path = (folder / L"\u56fa\u4ef6").wstring();
  ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
  std::string problem;
  EXPECT_EQ(OpenRegularFile(Utf8FromWide(path), problem), nullptr);
  EXPECT_EQ(problem, "it is a directory, not a regular file");
}

// --- System texts: the first language that has the text.

struct LanguageRow {
  const char* name;
  // What the system gives per language, in kSystemMessageLanguages' order.
  std::vector<std::optional<std::wstring>> answers;
  std::wstring text;
  size_t languagesAsked;
};

class SystemMessageLanguages : public testing::TestWithParam<LanguageRow> {};

TEST_P(SystemMessageLanguages, TakesTheFirstThatHasTheText) {
  const LanguageRow& row = GetParam();
  std::vector<DWORD> asked;
  const std::wstring text = FirstSystemMessage([&](DWORD language) {
    asked.push_back(language);
    return row.answers.at(asked.size() - 1);
  });
  EXPECT_EQ(text, row.text);
  ASSERT_EQ(asked.size(), row.languagesAsked);
  for (size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], kSystemMessageLanguages[i]);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SystemMessageLanguages,
    testing::Values(LanguageRow{"UsersLanguage",
                                {L"\u0424\u0430\u0439\u043b", L"File"},
                                L"\u0424\u0430\u0439\u043b",
                                1},
                    LanguageRow{
                        "SearchWhenTheUsersLanguageHasNone", {std::nullopt, L"File"}, L"File", 2},
                    LanguageRow{"NoneAnywhere", {std::nullopt, std::nullopt}, L"", 2}),
    [](const testing::TestParamInfo<LanguageRow>& info) { return std::string(info.param.name); });

TEST(SystemErrorText, IsTheSystemsWideTextInUtf8) {
  wchar_t* expected = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, ERROR_FILE_NOT_FOUND, 0, reinterpret_cast<wchar_t*>(&expected), 0, nullptr);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(SystemErrorDescription(ERROR_FILE_NOT_FOUND),
            Utf8FromWide(std::wstring_view(expected, length)));
  LocalFree(expected);
  EXPECT_EQ(SystemErrorDescription(0x7fff0000), "");
}

// --- A port adapter's friendly name.

// A device of the ports class, made for the test in the prefix's device
// registry as a driver's installer would, and removed with the test. Its
// port name is COM5, the port the wine session maps.
class ScriptedPortDevice {
 public:
  explicit ScriptedPortDevice(const std::wstring& friendlyName) {
    devices_ = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr);
    if (devices_ == INVALID_HANDLE_VALUE) return;
    info_.cbSize = sizeof info_;
    if (!SetupDiCreateDeviceInfoW(devices_, L"ZARNTESTPORT", &GUID_DEVCLASS_PORTS, nullptr, nullptr,
                                  DICD_GENERATE_ID, &info_)) {
      return;
    }
    const auto* name = reinterpret_cast<const BYTE*>(friendlyName.c_str());
    const auto nameBytes = static_cast<DWORD>((friendlyName.size() + 1) * sizeof(wchar_t));
    if (!SetupDiSetDeviceRegistryPropertyW(devices_, &info_, SPDRP_FRIENDLYNAME, name, nameBytes) ||
        !SetupDiRegisterDeviceInfo(devices_, &info_, 0, nullptr, nullptr, nullptr)) {
      return;
    }
    created_ = true;
    HKEY key =
        SetupDiCreateDevRegKeyW(devices_, &info_, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE) return;
    constexpr wchar_t kPortName[] = L"COM5";
    ready_ = RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(kPortName),
                            sizeof kPortName) == ERROR_SUCCESS;
    RegCloseKey(key);
  }
  ~ScriptedPortDevice() {
    if (created_) SetupDiRemoveDevice(devices_, &info_);
    if (devices_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(devices_);
  }
  bool Ready() const { return ready_; }

 private:
  HDEVINFO devices_ = INVALID_HANDLE_VALUE;
  SP_DEVINFO_DATA info_{};
  bool created_ = false;
  bool ready_ = false;
};

TEST(PortFriendlyName, ComesInUtf8WhateverItsScript) {
  const ScriptedPortDevice device(L"USB-Serial \u041f\u043e\u0440\u0442 \u56fa\u4ef6 (COM5)");
  ASSERT_TRUE(device.Ready());
  std::string shown;
  for (const TPortInfo& port : ListPorts()) {
    if (port.number == 5) shown = port.description;
  }
  EXPECT_EQ(shown, "USB-Serial \xd0\x9f\xd0\xbe\xd1\x80\xd1\x82 \xe5\x9b\xba\xe4\xbb\xb6 (COM5)");
}

// --- The console window's close (wine cannot close a console under a test).

// Delivered as the system does, on a thread of its own: the close asks for
// the stop and holds that thread (and with it the process) until the
// program's console session has ended; a Ctrl-C after it ends the process.
TEST(ConsoleClose, HoldsTheProcessUntilTheStopPathHasRun) {
  auto session = std::make_unique<ConsoleSession>();
  std::atomic<bool> returned{false};
  BOOL handled = FALSE;
  std::thread system([&] {
    handled = OnConsoleEvent(CTRL_CLOSE_EVENT);
    returned = true;
  });
  ASSERT_TRUE(WaitUntil([] { return InterruptRequested(); }));
  EXPECT_FALSE(returned.load());
  session.reset();
  system.join();
  EXPECT_EQ(handled, TRUE);
  EXPECT_EQ(OnConsoleEvent(CTRL_C_EVENT), FALSE);
}

}  // namespace
