// Calendar time for records: UTC in ISO 8601 ("2026-12-11T08:40:07.123Z").
//
// Pure function; safe from any thread.
#pragma once

#include <chrono>
#include <string>

std::string IsoUtc(std::chrono::system_clock::time_point at);
