#pragma once
// Local folders, string encodings and the stored login.
#include <string>
#include <vector>

#include "app/split.h"

namespace veltrinawnd {

// The user's documents folder (UTF-16).
std::wstring GetDocumentsFolder();
// Documents folder + "\Veltrina": the core's account store and database.
std::wstring GetDataFolder();
// Documents folder in UTF-8 + "/tmp/": downloaded images, in a folder per team.
std::string GetImageCacheFolder();
// The folder of the running executable, without a trailing separator.
std::wstring GetExecutableFolder();

// Text and file-system paths alike cross to the core in UTF-8 and come back from it in UTF-8:
// an ANSI code page cannot spell every folder name (Zoë under code page 936), and its bytes
// may be valid UTF-8 too (谢卢), so that two sides would name two folders.
std::wstring Utf8ToUtf16(const std::string& utf8);
std::string Utf16ToUtf8(const std::wstring& utf16);

// Limits of the credential record; longer values are refused, never cut.
inline constexpr size_t kMaxCredentialTargetChars = 1023;
inline constexpr size_t kMaxCredentialUserNameChars = 254;
inline constexpr size_t kMaxCredentialPasswordBytes = 254;

// Stores the password of the last login of a team in the credential manager under
// "veltrina/" + team id. Returns the result of CredWriteW (false also when a value is too long).
bool SaveCredential(const std::string& team_id, const std::string& username, const std::string& password);
// The stored password of that team when it belongs to exactly this user name; empty otherwise.
std::wstring LoadPassword(const std::string& team_id, const std::string& username);
// Removes the stored login of a team; true when there is none afterwards.
bool DeleteCredential(const std::string& team_id);

}  // namespace veltrinawnd
