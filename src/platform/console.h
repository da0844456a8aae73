#pragma once

#include <string_view>

namespace bm {

// Standard output: the one-line messages the application reports.
class Console {
 public:
  virtual ~Console() = default;
  virtual void printLine(std::string_view line) = 0;
};

}  // namespace bm
