#pragma once
#include <windows.h>

#include "core_bridge/window_bridge.h"

namespace veltrinawnd {

// The session data preparation after sign-in: team members, their statuses, services, the avatar
// prefetch and the permission value, each step started in the previous step's callback on the
// core's thread. When every step succeeded, done_message is posted to the window; a failure
// ends the chain silently. When the session's caches were restored from disk, done_message is
// posted at once and the steps run on without the window, their answers landing in the caches.
void PrepareSessionData(bridge::WindowRef window, UINT done_message);

}  // namespace veltrinawnd
