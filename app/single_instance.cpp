#include "app/single_instance.h"

#include <sddl.h>

#include <vector>

#include "veltrina/log.h"

namespace veltrinawnd {
namespace {

constexpr wchar_t kWindowClass[] = L"VeltrinaActivation";
// How long a second start waits for a client that holds the claim but shows no window yet (or no
// more): one still coming up answers within a moment, one exiting lets go of the claim.
constexpr DWORD kHandOverMs = 8000;
constexpr UINT kAnswerMs = 5000;  // a client whose UI thread does not answer in this time is hung

ActivateFn g_activate = nullptr;  // set once, before the window exists

UINT ActivateMessage() {
  static const UINT message = RegisterWindowMessageW(L"Veltrina.Activate");
  return message;
}

std::wstring UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  std::wstring sid;
  wchar_t* text = nullptr;
  if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
    sid = text;
    LocalFree(text);
  }
  CloseHandle(token);
  return sid;
}

LRESULT CALLBACK ActivationProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == ActivateMessage() && message != 0) return g_activate && g_activate() ? 1 : 0;
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The window a second start finds; it lives as long as the UI thread.
void ListenForSecondStarts(HINSTANCE instance, const std::wstring& name) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ActivationProc;
  wc.hInstance = instance;
  wc.lpszClassName = kWindowClass;
  RegisterClassExW(&wc);
  if (!CreateWindowExW(0, kWindowClass, name.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr))
    veltrina::log("A second start cannot reach this client (error %lu)", GetLastError());
}

// Asks the running client to come to the front; true when it did.
bool AskToComeToFront(const std::wstring& name) {
  HWND target = FindWindowExW(HWND_MESSAGE, nullptr, kWindowClass, name.c_str());
  if (!target) return false;
  DWORD process = 0;
  GetWindowThreadProcessId(target, &process);
  AllowSetForegroundWindow(process);  // this start came from the user: the other may take the front
  DWORD_PTR shown = 0;
  return SendMessageTimeoutW(target, ActivateMessage(), 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerMs, &shown) &&
         shown != 0;
}

bool Owns(HANDLE mutex, DWORD wait_ms) {
  const DWORD result = WaitForSingleObject(mutex, wait_ms);
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;  // abandoned: the last owner ended
}

}  // namespace

std::wstring SingleClientName() {
  std::wstring user = UserSid();
  if (user.empty()) {  // no token to read: the user name still keeps users apart
    wchar_t name[256] = {};
    DWORD size = 256;
    if (GetUserNameW(name, &size)) user = name;
  }
  return L"Local\\Veltrina.Client." + user;
}

bool ClaimSingleClient(HINSTANCE instance, ActivateFn activate) {
  const std::wstring name = SingleClientName();
  // Never closed: the claim ends with the process (see the header).
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (!mutex) {
    // Without the claim there is no telling whether another client runs; starting is the lesser harm.
    veltrina::log("The single-client claim cannot be made (error %lu); starting anyway", GetLastError());
    return true;
  }
  for (const ULONGLONG start = GetTickCount64();;) {
    if (Owns(mutex, 0)) break;
    if (AskToComeToFront(name)) {
      veltrina::log("Another Veltrina runs for this user: brought it to the front");
      return false;
    }
    if (Owns(mutex, 100)) break;
    if (GetTickCount64() - start > kHandOverMs) {
      veltrina::log("Another Veltrina runs for this user but shows no window; this start ends");
      return false;
    }
  }
  g_activate = activate;
  ListenForSecondStarts(instance, name);
  return true;
}

}  // namespace veltrinawnd
