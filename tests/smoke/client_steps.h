#pragma once
// The steps a user takes through Veltrina, shared by the smoke tests: signing in on a first start,
// opening conversations and sending a message.
#include <windows.h>

#include <string>

#include "conversation_pixels.h"
#include "smoke_user.h"

namespace smoke {

// From the team window of a first start to the main window: team "demo", then alice's account,
// each confirmed with Enter.
HWND SignInAsAlice(SmokeUser& user);

// Clicks the session list row of #general and waits until the conversation area shows a
// conversation (the main window may already have opened it at start).
Picture OpenGeneral(SmokeUser& user, HWND main_window);
// Clicks a session list row and waits until the conversation area shows a conversation other than
// `before`.
Picture SwitchToRow(SmokeUser& user, HWND main_window, int row, const std::string& name, const Picture& before);
// Waits until the conversation area differs from `before` and has stopped changing (the list
// scrolls to a new message after it is added).
Picture WaitForSteadyChange(SmokeUser& user, const std::string& step, HWND main_window, const Picture& before);

// A text no earlier run has sent: "smoke " and the tick count.
std::wstring UniqueMessageText();
// Clicks into the composer, types the text and sends it with Enter; waits until the composer is
// empty again and the demo service's state file holds the message from alice in #general.
void SendInGeneral(SmokeUser& user, HWND main_window, const std::wstring& text);

}  // namespace smoke
