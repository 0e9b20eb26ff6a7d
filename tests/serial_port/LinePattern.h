// Recognisable bytes for checks that what went into the line came out intact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Bytes start, start + 1, ... wrapping at 251 (a prime, so ring positions and
// byte values do not line up by accident).
std::vector<uint8_t> Pattern(std::size_t length, std::size_t start = 0);
