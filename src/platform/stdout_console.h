#pragma once

#include <cstdio>

#include "platform/console.h"

namespace bm {

// Lines on standard output, flushed at once so that they are seen in order
// with anything else the process prints.
class StdoutConsole : public Console {
 public:
  void printLine(std::string_view line) override {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
};

}  // namespace bm
