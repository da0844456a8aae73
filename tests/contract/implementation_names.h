#pragma once

#include <string>

namespace bm::contract {

// Names the typed tests after the implementation they run on (".../Sim", ".../Qt").
struct ImplementationNames {
  template <typename Adaptor>
  static std::string GetName(int) {
    return Adaptor::kName;
  }
};

}  // namespace bm::contract
