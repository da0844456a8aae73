#pragma once

#include <string>
#include <vector>

#include "platform/url.h"

namespace bm {

// The one-line title of an entry, made once at capture: line breaks, tabs
// and runs of white space become single spaces, the ends are trimmed, the
// prefix goes in front, and anything past 20 user-perceived characters is
// cut and followed by "...".
std::string makeDisplayText(const std::string& text, const std::string& prefix);

// The title of copied files: "File: <name>" for one, else the count and the
// first two names.
std::string makeFileDisplayText(const std::vector<Url>& urls);

}  // namespace bm
