#include "signin/rest_password_wnd.h"

namespace veltrinawnd {

RestPasswordWnd::RestPasswordWnd() {}

}  // namespace veltrinawnd
