#include "UploadRecord.h"

#include <algorithm>
#include <cstdio>

#include "HostName.h"
#include "RecordFile.h"
#include "UtcTime.h"

namespace {

constexpr char kRowEnd[] = "\r\n";
constexpr int64_t kRowEndLength = 2;
// How much of a torn tail is read at a time while looking for the last whole
// row's end.
constexpr int64_t kTailChunk = 4096;
// Seconds in the record: milliseconds.
constexpr int kSecondsDecimals = 3;

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// The offset just past the last CR LF in the file (0 when there is none).
// -1 on a read failure.
int64_t EndOfLastWholeRow(RecordFile& file, int64_t size) {
  std::string chunk;
  for (int64_t end = size; end > 0;) {
    const int64_t from = std::max<int64_t>(0, end - kTailChunk);
    // One byte of overlap, so a CR LF across two chunks is seen.
    const int64_t to = std::min(size, end + 1);
    chunk.resize(static_cast<size_t>(to - from));
    if (file.ReadAt(from, chunk.data(), to - from) != to - from) return -1;
    const size_t found = chunk.rfind(kRowEnd);
    if (found != std::string::npos) return from + static_cast<int64_t>(found) + kRowEndLength;
    end = from;
  }
  return 0;
}

bool EndsWithRowEnd(RecordFile& file, int64_t size) {
  if (size < kRowEndLength) return false;
  char tail[kRowEndLength];
  return file.ReadAt(size - kRowEndLength, tail, kRowEndLength) == kRowEndLength &&
         std::string(tail, kRowEndLength) == kRowEnd;
}

}  // namespace

const std::vector<std::string>& RecordColumns() {
  static const std::vector<std::string> columns = {
      "start",    "end",  "host",   "port",        "file", "size",      "crc32",   "sha256",
      "protocol", "fast", "result", "exit status", "box",  "last line", "seconds", "bytes sent"};
  return columns;
}

std::string CsvField(const std::string& text) {
  std::string field;
  bool quote = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      field += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      quote = true;
    } else if (c == '\n' || c == ',') {
      field += c;
      quote = true;
    } else if (c == '"') {
      field += "\"\"";
      quote = true;
    } else {
      field += c;
    }
  }
  return quote ? "\"" + field + "\"" : field;
}

std::string CsvRow(const std::vector<std::string>& fields) {
  std::string row;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) row += ',';
    row += CsvField(fields[i]);
  }
  return row + kRowEnd;
}

std::optional<std::vector<std::vector<std::string>>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  bool fieldStarted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
      continue;
    }
    if (c == '"' && field.empty()) {
      quoted = true;
      fieldStarted = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
      fieldStarted = true;
    } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      if (c == '\r') ++i;
      row.push_back(std::move(field));
      field.clear();
      rows.push_back(std::move(row));
      row.clear();
      fieldStarted = false;
    } else {
      field += c;
      fieldStarted = true;
    }
  }
  if (quoted) return std::nullopt;
  if (fieldStarted || !field.empty()) {
    row.push_back(std::move(field));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> RecordFields(const UploadSummary& summary, const std::string& host) {
  const UploadStart& start = summary.start;
  return {IsoUtc(start.at),
          IsoUtc(summary.endAt),
          host,
          start.port,
          start.file,
          std::to_string(start.size),
          Crc32Text(start.crc32),
          start.sha256,
          ProtocolName(start.protocol),
          start.fast ? "yes" : "no",
          ResultText(summary.result),
          std::to_string(summary.exitStatus),
          summary.boxText,
          summary.lastLine,
          Fixed(summary.seconds, kSecondsDecimals),
          std::to_string(summary.bytesSent)};
}

std::string AppendUploadRecord(const std::string& path, const UploadSummary& summary) {
  return AppendRecordRow(path, RecordFields(summary, ThisHostName()));
}

std::string AppendRecordRow(const std::string& path, const std::vector<std::string>& fields) {
  const std::string row = CsvRow(fields);
  std::string error;
  const std::unique_ptr<RecordFile> file = RecordFile::OpenLocked(path, error);
  if (!file) return error;
  const auto failed = [&](const char* what) {
    return std::string(what) + ": " + file->LastError();
  };

  int64_t size = file->Size();
  if (size < 0) return failed("cannot read its length");
  if (size > 0 && !EndsWithRowEnd(*file, size)) {
    // A writer was killed in the middle of its row: that row goes.
    const int64_t whole = EndOfLastWholeRow(*file, size);
    if (whole < 0) return failed("cannot read it");
    if (!file->Truncate(whole)) return failed("cannot cut off an unfinished row");
    size = whole;
  }
  const std::string bytes = size == 0 ? CsvRow(RecordColumns()) + row : row;
  if (!file->Append(bytes)) {
    const std::string why = failed("cannot write the row");
    file->Truncate(size);
    return why;
  }
  if (!file->Sync()) return failed("cannot flush it to the disk");
  return "";
}

std::string CheckRecordFile(const std::string& path) {
  std::string error;
  return RecordFile::OpenLocked(path, error) ? "" : error;
}
