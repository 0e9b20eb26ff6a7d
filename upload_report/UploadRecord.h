// The record of uploads: one CSV row per upload (RFC 4180, UTF-8), appended
// to a file that several processes may share. The header row is written when
// the file is new.
//
// A row is written whole or not at all: it is encoded first, appended with
// one write under an exclusive lock on the file (so two processes never
// interleave) and flushed to the disk before the call returns. Rows end in
// CR LF; a line break inside a field is written as LF alone, so a file whose
// end is not CR LF holds a row that a killed writer left unfinished. The next
// writer cuts that tail off (under the lock) before it appends, so a kill at
// any moment costs at most the row being written, never an earlier one.
//
// Threads: AppendUploadRecord may run on any thread and in any number of
// processes at once; the lock is the file's (RecordFile.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "UploadStory.h"

// The columns, in order.
const std::vector<std::string>& RecordColumns();

// One field as RFC 4180 writes it: quoted when it holds a comma, a quote, a
// CR or an LF (quotes doubled); CR LF and lone CRs inside become LF.
std::string CsvField(const std::string& text);
// The fields joined by commas, ended by CR LF.
std::string CsvRow(const std::vector<std::string>& fields);
// Parses CSV text into rows of fields (RFC 4180; LF or CR LF row ends).
// Nothing when a quoted field is unfinished.
std::optional<std::vector<std::vector<std::string>>> ParseCsv(const std::string& text);

// The row for one upload; `host` is the computer's name.
std::vector<std::string> RecordFields(const UploadSummary& summary, const std::string& host);

// Appends the row for `summary` to the record at `path` (UTF-8), creating the
// file with its header row when it is new. Returns "" when the row is on the
// disk, else what went wrong (the file is then as it was).
std::string AppendUploadRecord(const std::string& path, const UploadSummary& summary);
// Opens (creating it when missing, empty) and locks the record at `path` once,
// as an append would, and lets it go: "" when an append could go ahead, else
// what is wrong. For a front end that wants to refuse a record it cannot
// write before an upload starts.
std::string CheckRecordFile(const std::string& path);
// The same as AppendUploadRecord with the row's fields given (the tests and
// the station use it).
std::string AppendRecordRow(const std::string& path, const std::vector<std::string>& fields);
