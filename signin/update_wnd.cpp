#include "signin/update_wnd.h"

namespace veltrinawnd {

UpdateWnd::UpdateWnd() {}

}  // namespace veltrinawnd
