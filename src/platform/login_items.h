#pragma once

#include "platform/result.h"

namespace bm {

// Starting this application when the user logs in.
class LoginItems {
 public:
  virtual ~LoginItems() = default;
  // Registers the running application; registering again is harmless.
  virtual Status registerMainApp() = 0;
};

}  // namespace bm
