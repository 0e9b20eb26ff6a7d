// The encoders of the machine interface: JSON strings and objects, the JSON
// reader, CSV fields and rows, the record's times, and the words and numbers
// for how an upload ended.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "Json.h"
#include "UploadRecord.h"
#include "UploadResult.h"
#include "UtcTime.h"

namespace {

using Strings = std::vector<std::string>;

struct QuoteRow {
  std::string text;
  std::string json;
};

class JsonQuoting : public testing::TestWithParam<QuoteRow> {};

TEST_P(JsonQuoting, EscapesWhatJsonNeedsAndReadsBackTheSame) {
  EXPECT_EQ(JsonQuote(GetParam().text), GetParam().json);
  const auto parsed = ParseJson(GetParam().json);
  ASSERT_TRUE(parsed.has_value());
  ASSERT_EQ(parsed->kind, JsonValue::Kind::String);
  // Valid UTF-8 comes back unchanged; an invalid byte became U+FFFD.
  if (GetParam().text.find('\xff') == std::string::npos) {
    EXPECT_EQ(parsed->text, GetParam().text);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, JsonQuoting,
    testing::Values(QuoteRow{"Waiting for STB...", "\"Waiting for STB...\""},
                    QuoteRow{"File \"a.zarn\"", "\"File \\\"a.zarn\\\"\""},
                    QuoteRow{"C:\\images\\a.zarn", "\"C:\\\\images\\\\a.zarn\""},
                    QuoteRow{"line\nbreak\ttab\r", "\"line\\u000abreak\\u0009tab\\u000d\""},
                    QuoteRow{"\x01\x7f", "\"\\u0001\\u007f\""},
                    QuoteRow{"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa6", "\"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa6\""},
                    QuoteRow{"bad\xff", "\"bad\xef\xbf\xbd\""},
                    QuoteRow{"", "\"\""}));
// clang-format on

TEST(JsonObject, KeepsTheOrderAndTheKindsOfItsMembers) {
  const std::string text = JsonObject()
                               .Add("event", "end")
                               .Add("exitStatus", 3)
                               .AddFixed("seconds", 1.23456, 3)
                               .Add("fast", false)
                               .AddNull("typeCode")
                               .Text();
  EXPECT_EQ(text, R"({"event":"end","exitStatus":3,"seconds":1.235,"fast":false,"typeCode":null})");
  const auto parsed = ParseJson(text);
  ASSERT_TRUE(parsed.has_value());
  ASSERT_EQ(parsed->members.size(), 5u);
  EXPECT_EQ(parsed->members[0].first, "event");
  EXPECT_EQ(parsed->Find("exitStatus")->number, 3);
  EXPECT_EQ(parsed->Find("fast")->kind, JsonValue::Kind::Bool);
  EXPECT_EQ(parsed->Find("typeCode")->kind, JsonValue::Kind::Null);
  EXPECT_EQ(parsed->Find("missing"), nullptr);
}

TEST(JsonReader, TakesStandardJsonAndRefusesTheRest) {
  const auto value = ParseJson(R"( {"a":[1,-2.5e3,true,null,"\u00e9\ud83d\udce6"],"b":{}} )");
  ASSERT_TRUE(value.has_value());
  const JsonValue& a = *value->Find("a");
  ASSERT_EQ(a.items.size(), 5u);
  EXPECT_EQ(a.items[1].number, -2500);
  EXPECT_EQ(a.items[4].text, "\xc3\xa9\xf0\x9f\x93\xa6");
  for (const char* bad : {"", "{", "{\"a\":}", "[1,]", "{\"a\":1}x", "\"\x01\"", "01",
                          "\"\\ud800\"", "tru", "{\"a\" 1}", "\"\xff\""}) {
    std::string error;
    EXPECT_FALSE(ParseJson(bad, &error).has_value()) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

// --- CSV.

struct CsvRow_ {
  std::string text;
  std::string field;
};

class CsvFields : public testing::TestWithParam<CsvRow_> {};

TEST_P(CsvFields, AreQuotedOnlyWhenTheyMustBe) {
  EXPECT_EQ(CsvField(GetParam().text), GetParam().field);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Rfc4180, CsvFields,
    testing::Values(CsvRow_{"plain", "plain"}, CsvRow_{"", ""},
                    CsvRow_{"a,b", "\"a,b\""},
                    CsvRow_{"say \"hi\"", "\"say \"\"hi\"\"\""},
                    CsvRow_{"two\nlines", "\"two\nlines\""},
                    // Inside a field every line break is LF: a row's own end
                    // is the only CR LF in the file.
                    CsvRow_{"two\r\nlines", "\"two\nlines\""},
                    CsvRow_{"old\rmac", "\"old\nmac\""},
                    CsvRow_{"\xc3\xa9t\xc3\xa9.ZARN", "\xc3\xa9t\xc3\xa9.ZARN"}));
// clang-format on

TEST(Csv, RowsReadBackFieldForField) {
  const Strings fields = {"a,b", "say \"hi\"", "two\nlines", "", "\xc3\xa9t\xc3\xa9", "last"};
  const std::string text = CsvRow(RecordColumns()) + CsvRow(fields) + CsvRow({"x"});
  EXPECT_EQ(text.substr(text.size() - 3), "x\r\n");
  const auto rows = ParseCsv(text);
  ASSERT_TRUE(rows.has_value());
  ASSERT_EQ(rows->size(), 3u);
  EXPECT_EQ((*rows)[0], RecordColumns());
  EXPECT_EQ((*rows)[1], fields);
  EXPECT_EQ((*rows)[2], Strings{"x"});
  EXPECT_FALSE(ParseCsv("\"unfinished,field\r\n").has_value());
}

TEST(UtcTime, IsIso8601WithMilliseconds) {
  using namespace std::chrono;
  const sys_days day = year{2026} / December / 11;
  EXPECT_EQ(IsoUtc(day + hours(8) + minutes(40) + seconds(7) + milliseconds(123)),
            "2026-12-11T08:40:07.123Z");
  EXPECT_EQ(IsoUtc(system_clock::time_point{}), "1970-01-01T00:00:00.000Z");
}

struct EndRow {
  TaskEnd end;
  const char* result;
  int exitStatus;
};

class UploadEnds : public testing::TestWithParam<EndRow> {};

TEST_P(UploadEnds, HaveOneWordAndOneExitStatus) {
  EXPECT_EQ(ResultText(ResultFor(GetParam().end)), GetParam().result);
  EXPECT_EQ(ExitStatusFor(GetParam().end), GetParam().exitStatus);
}

INSTANTIATE_TEST_SUITE_P(Table, UploadEnds,
                         testing::Values(EndRow{TaskEnd::Confirmed, "confirmed", 0},
                                         EndRow{TaskEnd::Early, "failed", 1},
                                         EndRow{TaskEnd::FlashError, "flash error", 1},
                                         EndRow{TaskEnd::Unconfirmed, "unconfirmed", 3}));

}  // namespace
