#include "signin/subdomain_wnd.h"

namespace veltrinawnd {

SubdomainWnd::SubdomainWnd() {}

}  // namespace veltrinawnd
