// The lines that zarn-upload --info prints for a file (ImageInfo.h), one
// "Label: value" a line, labels padded to one column.
//
// Pure function; safe from any thread.
#pragma once

#include <string>
#include <vector>

#include "ImageInfo.h"

std::vector<std::string> InfoLines(const ImageInfo& info);
