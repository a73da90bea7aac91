#pragma once
#include <windows.h>

#include <string>

#include "core_bridge/window_bridge.h"

namespace veltrinawnd {

enum class PreparationStep { kTeamMembers, kUserStatuses, kServices, kPermission };

// Posted with failed_message when a step fails; try_id is the one the preparation was started with.
struct PreparationFailure {
  unsigned try_id = 0;
  PreparationStep step = PreparationStep::kTeamMembers;
  std::string error;  // the core's error text
};

// The session data preparation after sign-in: team members, their statuses, services, the avatar
// prefetch and the permission value, each step started in the previous step's callback on the
// core's thread. When every step succeeded, done_message is posted to the window with try_id in
// lParam; the first step that fails ends the chain and posts failed_message with a
// PreparationFailure. When the session's caches were restored from disk, done_message is posted
// at once and the steps run on without the window, their answers landing in the caches and a
// failure only logged.
void PrepareSessionData(bridge::WindowRef window, UINT done_message, UINT failed_message, unsigned try_id);

// What the sign-in windows show for a failed step: what failed and its code, or the service's
// reason when the core gave a text rather than a code.
std::wstring PreparationFailureText(const PreparationFailure& failure);

}  // namespace veltrinawnd
