#include "signin/login_wnd.h"

namespace veltrinawnd {

LoginWnd::LoginWnd() {}

}  // namespace veltrinawnd
