#include "app/app_delegate.h"

namespace bm {

// Not built yet: choosing an entry does not put it back on the pasteboard.
void AppDelegate::menuItemClicked(const MenuItem&) {}

}  // namespace bm
