#pragma once
// Private messages of the sign-in windows and the records they carry.
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "veltrina/secret.h"

namespace veltrinawnd {

// Team selection window.
inline constexpr UINT kMsgTeamFound = WM_USER + 1;         // send, owned veltrina::Team
inline constexpr UINT kMsgTeamLookupFailed = WM_USER + 25;  // send, error code in lParam
inline constexpr UINT kMsgNewVersion = WM_USER + 48;        // post, VersionRecord
// Login window.
inline constexpr UINT kMsgLoginSucceeded = WM_USER + 2;        // send, LoginWnd::LoginSuccessResponse
inline constexpr UINT kMsgInitialPasswordNeeded = WM_USER + 64;  // send, LoginWnd::LoginSuccessResponse
inline constexpr UINT kMsgLoginFailed = WM_USER + 3;           // send, ErrorCodeRecord
// Both messages of the session data preparation also reach the password window.
inline constexpr UINT kMsgDataPrepared = WM_USER + 4;          // post, the window's try in lParam
inline constexpr UINT kMsgPreparationFailed = WM_USER + 5;     // post, PreparationFailure
inline constexpr UINT kMsgSessionRefused = WM_USER + 26;       // post, nothing: say why the login is back
inline constexpr UINT_PTR kTimerLoginAnimation = WM_USER + 34;  // 1058, every 1000 ms
// Initial password window.
inline constexpr UINT kMsgPasswordSet = WM_USER + 96;     // post, PasswordSetRecord
inline constexpr UINT kMsgPasswordNotSet = WM_USER + 97;  // post, ErrorCodeRecord

struct VersionRecord {
  int64_t version_code = 0;
  std::string download_url;
  std::string description;
};

// The password the service took, for the stored login; wiped when freed.
struct PasswordSetRecord {
  explicit PasswordSetRecord(std::string set) : password(std::move(set)) {}
  ~PasswordSetRecord() { veltrina::WipeSecret(&password); }
  PasswordSetRecord(const PasswordSetRecord&) = delete;
  PasswordSetRecord& operator=(const PasswordSetRecord&) = delete;
  std::string password;
};

struct ErrorCodeRecord {
  int64_t code = 0;
  unsigned try_id = 0;  // the window's try when the request was made (sign-in windows)
};

}  // namespace veltrinawnd
