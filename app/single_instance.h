#pragma once
// One client per Windows user. Two clients on the same data folder would each run the demo
// service on the same state files and overwrite each other, so a second start hands over to the
// running client (which comes to the front) and ends.
//
// The claim is a mutex in the session's Local\ namespace whose name carries the user's SID: two
// users signed in on one machine, or in one session under "run as", stay independent. The mutex is
// held by the UI thread and never released or closed: only the end of the process, after every
// static destructor (the demo service saves its state in one), lets a later start have it.
//
// The running client answers on a message-only window of the UI thread, so the request is
// handled there in whichever nested modal loop runs: the registered message "Veltrina.Activate"
// makes it call `activate`, which answers non-zero when it brought a window to the front.
#include <windows.h>

#include <string>

namespace veltrinawnd {

using ActivateFn = bool (*)();

// True when this process is now the user's client: the caller goes on and starts it. False when a
// running client was asked to come to the front, or when one holds the claim without answering
// for a few seconds (still starting, or exiting): the caller ends without touching any state.
bool ClaimSingleClient(HINSTANCE instance, ActivateFn activate);

// The per-user name of the claim ("Local\Veltrina.Client.<SID>").
std::wstring SingleClientName();

}  // namespace veltrinawnd
