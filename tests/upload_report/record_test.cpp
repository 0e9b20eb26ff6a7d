// The record of uploads on the disk: the header when the file is new, a row
// for each way an upload ends, an unfinished row or header cut off, and names
// and texts outside ASCII. Portable: the Windows tree runs it under wine
// (LockFileEx, CreateFileW). The appends of several processes at once are
// record_processes_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "RecordTestSupport.h"
#include "UploadRecord.h"

namespace {

using namespace record_test;

class Record : public testing::Test {
 protected:
  std::string Path(const std::string& name = "record.csv") const {
    return folder_.Path() + "/" + name;
  }
  ScratchFolder folder_;
};

TEST_F(Record, NewFileGetsTheHeaderOnceThenOneRowPerAppend) {
  EXPECT_EQ(AppendRecordRow(Path(), RowOf("1")), "");
  EXPECT_EQ(AppendRecordRow(Path(), RowOf("2")), "");
  const Rows rows = ReadRecord(Path());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "1");
  EXPECT_EQ(rows[1][0], "2");
}

// One summary per way an upload ends, with the texts a record must keep.
struct ResultRow {
  TaskEnd end;
  const char* result;
  const char* exitStatus;
  std::string box;
  std::string lastLine;
  std::string boxAsRecorded;  // a CR LF inside a field is an LF in the record
};

void PrintTo(const ResultRow& row, std::ostream* os) { *os << row.result << " / " << row.lastLine; }

class RecordResults : public Record, public testing::WithParamInterface<ResultRow> {};

TEST_P(RecordResults, RowSaysHowTheUploadEndedWithItsTextsIntact) {
  const ResultRow& row = GetParam();
  UploadStory story;
  UploadStart start;
  start.port = "COM31";
  start.file = "/images/\xc3\xa9t\xc3\xa9, \"v2\".ZARN";
  start.protocol = UploadProtocol::Zarn;
  start.size = 20064;
  start.crc32 = 0xA56A6849;
  start.sha256 = std::string(64, 'a');
  start.at = std::chrono::system_clock::now();
  story.Begin(start);
  story.NoteLine(row.lastLine);
  if (!row.box.empty()) story.NoteBox(row.box);
  story.NoteStep(8188);
  story.NoteLine("Upload task terminated!!!");
  story.NoteEnd(row.end);
  ASSERT_EQ(AppendUploadRecord(Path(), story.Summarize()), "");

  const Rows rows = ReadRecord(Path());
  ASSERT_EQ(rows.size(), 1u);
  const Strings& fields = rows[0];
  EXPECT_EQ(fields[Column("result")], row.result);
  EXPECT_EQ(fields[Column("exit status")], row.exitStatus);
  EXPECT_EQ(fields[Column("box")], row.boxAsRecorded);
  EXPECT_EQ(fields[Column("last line")], row.lastLine);
  EXPECT_EQ(fields[Column("file")], start.file);
  EXPECT_EQ(fields[Column("port")], "COM31");
  EXPECT_EQ(fields[Column("crc32")], "A56A6849");
  EXPECT_EQ(fields[Column("protocol")], "ZARN");
  EXPECT_EQ(fields[Column("fast")], "no");
  EXPECT_EQ(fields[Column("size")], "20064");
  EXPECT_EQ(fields[Column("bytes sent")], "8188");
  EXPECT_EQ(fields[Column("start")].size(), std::string("2026-12-11T08:40:07.123Z").size());
  EXPECT_LE(fields[Column("start")], fields[Column("end")]);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, RecordResults,
    testing::Values(
        ResultRow{TaskEnd::Confirmed, "confirmed", "0", "", "Writing to FLASH [OK], restarting...", ""},
        ResultRow{TaskEnd::Early, "failed", "1", "Communication error!!!", "Too many errors!!! Aborting...",
                  "Communication error!!!"},
        ResultRow{TaskEnd::FlashError, "flash error", "1", "", "Writing to FLASH [ERR], restarting...", ""},
        ResultRow{TaskEnd::Unconfirmed, "unconfirmed", "3", "", "STB restarted in ZARN mode!!!", ""},
        ResultRow{TaskEnd::Early, "failed", "1", "Cannot open file \"a,b\":\r\nNo such file", "Waiting for STB...",
                  "Cannot open file \"a,b\":\nNo such file"}));
// clang-format on

// What a killed writer leaves: part of a row, no CR LF at the end.
TEST_F(Record, UnfinishedRowOfAKilledWriterIsCutOffBeforeTheNextRow) {
  ASSERT_EQ(AppendRecordRow(Path(), RowOf("whole")), "");
  WriteRaw(Path(), CsvRow(RowOf("torn", "a\nb")).substr(0, 12), true);
  ASSERT_EQ(AppendRecordRow(Path(), RowOf("next")), "");
  const Rows rows = ReadRecord(Path());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "whole");
  EXPECT_EQ(rows[1][0], "next");
}

TEST_F(Record, UnfinishedHeaderIsWrittenAgain) {
  WriteRaw(Path(), "start,end,ho", false);
  ASSERT_EQ(AppendRecordRow(Path(), RowOf("1")), "");
  const Rows rows = ReadRecord(Path());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "1");
}

TEST_F(Record, NonAsciiFileNameAndFolderStayIntact) {
  const std::string folder = folder_.Path() + "/\xd0\xb7\xd0\xb0\xd0\xbf\xd0\xb8\xd1\x81\xd0\xb8";
  std::filesystem::create_directory(std::filesystem::u8path(folder));
  const std::string path = folder + "/r\xc3\xa9sultats \xe2\x82\xac.csv";
  ASSERT_EQ(AppendRecordRow(path, RowOf("1", "\xe6\x98\xa0\xe5\x83\x8f.ZARN")), "");
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path)));
  const Rows rows = ReadRecord(path);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][Column("file")], "\xe6\x98\xa0\xe5\x83\x8f.ZARN");
}

TEST_F(Record, AFolderThatCannotBeWrittenIsReportedNotRaised) {
  const std::string problem = AppendRecordRow(folder_.Path() + "/no/such/folder/r.csv", RowOf("1"));
  EXPECT_NE(problem, "");
  EXPECT_NE(CheckRecordFile(folder_.Path()), "");
}

}  // namespace
