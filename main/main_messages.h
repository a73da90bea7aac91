#pragma once
// Private messages and timers of the main window.
#include <windows.h>

#include <memory>
#include <string>

#include "veltrina/message.h"
#include "veltrina/num_unread.h"

namespace DuiLib {
class CButtonUI;
}

namespace veltrinawnd {

inline constexpr UINT kMsgMainDataReady = WM_USER + 4;             // post, none
inline constexpr UINT kMsgImageReadySessionList = WM_USER + 6;     // send, ImageReadyRecord
inline constexpr UINT kMsgTrayCallback = WM_USER + 7;              // from the shell; lParam: mouse message
inline constexpr UINT kMsgImageReadyCard = WM_USER + 10;           // send, ImageReadyRecord
inline constexpr UINT kMsgImageReadyAvatar = WM_USER + 13;         // send, ImageReadyRecord
inline constexpr UINT kMsgConversationsChanged = WM_USER + 18;     // post, none
// Core handler calls made on a core thread, carried to the UI thread in order.
inline constexpr UINT kMsgCoreEvent = WM_APP + 40;
// A list wants reloading from the service (lParam: a ListRefresh::Which); refreshes are spaced.
inline constexpr UINT kMsgListRefreshWanted = WM_APP + 41;
inline constexpr UINT kMsgUploadFailed = WM_APP + 42;  // post, UploadFailure

inline constexpr UINT_PTR kTimerNetworkCheck = 1038;
inline constexpr UINT_PTR kTimerTrayFlash = 1040;
inline constexpr UINT_PTR kTimerScrollToBottom = 1041;
inline constexpr UINT_PTR kTimerChannelsRefresh = 1043;
inline constexpr UINT_PTR kTimerImsRefresh = 1044;

// A downloaded image for a button. The button may be gone by the time this arrives: tag is the
// button's serial (CControlUI::GetTag) at request time, checked before the button is touched.
// The main window's buttons wait for the file by local path instead (ImageWaiters): no button,
// and ok is false when the download failed.
struct ImageReadyRecord {
  std::string conversation_id;
  std::string local_path;  // UTF-8
  DuiLib::CButtonUI* button = nullptr;
  UINT_PTR tag = 0;
  bool ok = true;
};

// An upload that failed after its window closed: the main window tells the user.
struct UploadFailure {
  std::string conversation_id;
  std::wstring file_name;  // as it was to be shared
  std::string error;       // the core's error text
  int status = 0;          // the service's code; 0 when nothing was answered or sent
};

// A core handler call, carried from the core thread to the UI thread.
struct CoreEvent {
  enum Kind { kDirectMessage, kChannelMessage, kNumUnread, kUserStatus, kConnectionState, kSendFailed };
  Kind kind = kDirectMessage;
  std::unique_ptr<veltrina::Message> message;
  std::string id;
  veltrina::_NumUnread counts{};
  int value = 0;
};

}  // namespace veltrinawnd
