#include "app/storage.h"

#include <windows.h>
#include <shlobj.h>
#include <wincred.h>

#include <cwchar>
#include <cstring>
#include <mutex>

#include "veltrina/immortal.h"
#include "veltrina/log.h"
#include "veltrina/secret.h"

namespace veltrinawnd {

std::wstring GetDocumentsFolder() {
  // The shell reads the registry on every call, and every avatar shown asks twice; the folder
  // does not move while the client runs. A failure is not remembered.
  // Never destroyed: downloads on core threads ask for it while the process exits.
  static veltrina::Immortal<std::mutex> mutex_holder;
  static veltrina::Immortal<std::wstring> known_holder;
  std::mutex& mutex = mutex_holder.get();
  std::wstring& known = known_holder.get();
  std::lock_guard<std::mutex> lock(mutex);
  if (!known.empty()) return known;
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, path))) return std::wstring();
  known = path;
  return known;
}

std::wstring GetDataFolder() { return GetDocumentsFolder() + L"\\Veltrina"; }

std::string GetImageCacheFolder() { return Utf16ToUtf8(GetDocumentsFolder()) + "/tmp/"; }

std::wstring GetExecutableFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring module(path);
  std::vector<std::wstring> pieces;
  size_t start = 0;
  while (start <= module.size()) {
    size_t end = module.find(L'\\', start);
    if (end == std::wstring::npos) end = module.size();
    if (end > start) pieces.push_back(module.substr(start, end - start));
    start = end + 1;
  }
  std::wstring folder;
  for (size_t i = 0; i + 1 < pieces.size(); ++i) {
    if (i > 0) folder += L"\\";
    folder += pieces[i];
  }
  return folder;
}

std::wstring Utf8ToUtf16(const std::string& utf8) {
  // Up to the first zero, as a C string would be read.
  size_t len = std::strlen(utf8.c_str());
  if (len == 0) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(len), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(len), out.data(), n);
  return out;
}

std::string Utf16ToUtf8(const std::wstring& utf16) {
  size_t len = wcslen(utf16.c_str());
  if (len == 0) return "";
  int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(len), out.data(), n, nullptr, nullptr);
  return out;
}

bool SaveCredential(const std::string& team_id, const std::string& username, const std::string& password) {
  std::wstring target = L"veltrina/" + Utf8ToUtf16(team_id);
  std::wstring user = Utf8ToUtf16(username);
  if (target.size() > kMaxCredentialTargetChars || user.size() > kMaxCredentialUserNameChars ||
      password.size() > kMaxCredentialPasswordBytes) {
    veltrina::log("Credential not stored: the team id, user name or password is too long");
    return false;
  }
  std::vector<BYTE> blob(password.begin(), password.end());
  blob.push_back(0);
  CREDENTIALW cred{};
  cred.Type = CRED_TYPE_GENERIC;
  cred.TargetName = target.data();
  cred.UserName = user.data();
  cred.CredentialBlob = blob.data();
  cred.CredentialBlobSize = static_cast<DWORD>(blob.size());
  cred.Persist = CRED_PERSIST_LOCAL_MACHINE;
  bool ok = CredWriteW(&cred, 0) != FALSE;
  SecureZeroMemory(blob.data(), blob.size());
  return ok;
}

std::wstring LoadPassword(const std::string& team_id, const std::string& username) {
  std::wstring target = L"veltrina/" + Utf8ToUtf16(team_id);
  PCREDENTIALW cred = nullptr;
  if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &cred) || !cred) return std::wstring();
  std::wstring result;
  std::wstring wanted = Utf8ToUtf16(username);
  if (cred->UserName && wanted == cred->UserName && cred->CredentialBlob) {
    const char* bytes = reinterpret_cast<const char*>(cred->CredentialBlob);
    size_t n = 0;
    while (n < cred->CredentialBlobSize && bytes[n] != 0) ++n;
    std::string password(bytes, n);
    result = Utf8ToUtf16(password);
    veltrina::WipeSecret(&password);
  }
  if (cred->CredentialBlob) SecureZeroMemory(cred->CredentialBlob, cred->CredentialBlobSize);
  CredFree(cred);
  return result;
}

bool DeleteCredential(const std::string& team_id) {
  std::wstring target = L"veltrina/" + Utf8ToUtf16(team_id);
  return CredDeleteW(target.c_str(), CRED_TYPE_GENERIC, 0) || GetLastError() == ERROR_NOT_FOUND;
}

}  // namespace veltrinawnd
