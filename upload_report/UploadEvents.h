// The JSON lines of zarn-upload --json, one object a line, and the object of
// --info --json. The README's zarn-upload section holds the schema; a test
// checks real uploads against that table, so a change here must change it
// too.
//
// Pure functions; safe from any thread.
#pragma once

#include <string>

#include "ImageInfo.h"
#include "UploadStory.h"

std::string StartEvent(const UploadStart& start);
// One status-log line, exactly as the window shows it.
std::string LogEvent(const std::string& line);
// `done` of `total` bytes acknowledged by the STB.
std::string ProgressEvent(int64_t done, int64_t total);
// A message box.
std::string BoxEvent(const std::string& title, const std::string& text);
std::string EndEvent(const UploadSummary& summary);

// What --info found, as one object.
std::string InfoObject(const ImageInfo& info);
