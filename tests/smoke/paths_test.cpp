// Outside in: a user whose documents folder sits in a folder named with characters the ANSI code page cannot spell
// (Zoë: none of code page 936) or whose code page 936 bytes are valid UTF-8 as well (谢卢: D0 BB C2 AC, "л¬"). The
// client must keep its account store and its image cache in that very folder, as Windows spells it.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <filesystem>
#include <vector>

#include "smoke_user.h"

namespace smoke {
namespace {

constexpr wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A value of the user's registry as it was, put back (or deleted, when it was not there) by the destructor.
class SavedValue {
 public:
  SavedValue(const wchar_t* key, const wchar_t* name) : name_(name) {
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                          nullptr) != ERROR_SUCCESS)
      Fail("cannot open the registry key of the shell folders");
    DWORD size = 0;
    if (::RegQueryValueExW(key_, name, nullptr, &type_, nullptr, &size) != ERROR_SUCCESS) return;
    bytes_.resize(size);
    existed_ = ::RegQueryValueExW(key_, name, nullptr, &type_, bytes_.data(), &size) == ERROR_SUCCESS;
  }
  ~SavedValue() {
    if (existed_) ::RegSetValueExW(key_, name_, 0, type_, bytes_.data(), static_cast<DWORD>(bytes_.size()));
    else ::RegDeleteValueW(key_, name_);
    ::RegCloseKey(key_);
  }
  SavedValue(const SavedValue&) = delete;
  void Set(const std::wstring& path) {
    const auto* bytes = reinterpret_cast<const BYTE*>(path.c_str());
    if (::RegSetValueExW(key_, name_, 0, type_ == REG_SZ ? REG_SZ : REG_EXPAND_SZ, bytes,
                         static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
      Fail("cannot move the documents folder in the registry");
  }

 private:
  HKEY key_ = nullptr;
  const wchar_t* name_;
  DWORD type_ = REG_EXPAND_SZ;
  std::vector<BYTE> bytes_;
  bool existed_ = false;
};

std::wstring DocumentsFolder() {
  wchar_t documents[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)))
    Fail("the documents folder cannot be found");
  return documents;
}

// The user's documents folder is <users>\<user name>\Documents while this lives: made empty first, deleted at the end
// together with the folder of that user name, and the registry as it was again.
class MovedDocuments {
 public:
  explicit MovedDocuments(const std::wstring& user_name)
      : user_(std::filesystem::path(DocumentsFolder()).parent_path().parent_path() / user_name),
        documents_(user_ / L"Documents") {
    std::error_code error;
    std::filesystem::remove_all(user_, error);  // what an aborted run left
    if (!std::filesystem::create_directories(documents_, error)) Fail("cannot make " + Utf8(documents_.wstring()));
    user_shell_.Set(documents_.wstring());
    shell_.Set(documents_.wstring());
    if (DocumentsFolder() != documents_.wstring()) Fail("the shell does not follow the moved documents folder");
  }
  ~MovedDocuments() {
    std::error_code error;
    std::filesystem::remove_all(user_, error);
  }
  std::wstring path() const { return documents_.wstring(); }

 private:
  std::filesystem::path user_, documents_;
  SavedValue user_shell_{kUserShellFolders, L"Personal"}, shell_{kShellFolders, L"Personal"};
};

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Entries of a folder (not "." and ".."), as Windows spells them; with `folders`, only folders, else only files.
std::vector<std::wstring> Entries(const std::wstring& folder, bool folders) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L".." && ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folders)
      names.push_back(name);
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  return names;
}

// Pictures in the image cache, <Documents>\tmp\<team>\.
size_t CachedPictures(const std::wstring& documents) {
  size_t count = 0;
  for (const std::wstring& team : Entries(documents + L"\\tmp", true))
    count += Entries(documents + L"\\tmp\\" + team, false).size();
  return count;
}

// The window's native edit (the password one when asked), once it is laid out.
HWND Field(SmokeUser& user, HWND window, bool password) {
  HWND field = nullptr;
  user.WaitUntil(password ? "the password field" : "the first field", [&] {
    for (HWND h : ChildrenOfClass(window, L"Edit"))
      if (((::GetWindowLongW(h, GWL_STYLE) & ES_PASSWORD) != 0) == password) field = h;
    RECT rc{};
    return field && ::GetWindowRect(field, &rc) && rc.right > rc.left;
  }, window);
  return field;
}

bool HasFocus(HWND field) {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  return ::GetGUIThreadInfo(::GetWindowThreadProcessId(field, nullptr), &gui) && gui.hwndFocus == field;
}

// Signs in to team demo as alice on a first start, sees an avatar cached and the account stored in the moved folder;
// the next start offers team demo and then alice.
void SignInAndStartAgain(const std::wstring& user_name) {
  MovedDocuments documents(user_name);
  ForgetEverything();
  {
    ClientProcess client;
    SmokeUser user(client);
    HWND team = user.WaitForWindow("first start", L"SubdomainWnd", L"登录团队");
    HWND team_field = Field(user, team, false);
    user.TypeInto("type team demo", team_field, L"demo");
    user.PressEnter("confirm team demo", team_field);
    HWND login = user.WaitForWindow("login window", L"LoginWindow", L"登录");
    user.TypeInto("type the user name", Field(user, login, false), L"alice");
    HWND password = Field(user, login, true);
    user.TypeInto("type the password", password, L"veltrina");
    user.PressEnter("sign in", password);
    HWND main = user.WaitForWindow("the main window", L"MainWindow", L"Veltrina");
    const std::wstring cache = documents.path() + L"\\tmp";
    user.WaitUntil("an avatar is cached in <Documents>\\tmp\\<team>", [&] { return CachedPictures(documents.path()) > 0; },
                   main, [&] { return std::to_string(Entries(cache, true).size()) + " team folders"; });
    EXPECT_TRUE(IsFile(documents.path() + L"\\Veltrina\\accounts.json")) << "the account store is elsewhere";
  }  // ended here, as by the task manager

  ClientProcess client;
  SmokeUser user(client);
  HWND team = user.WaitForWindow("a later start", L"SubdomainWnd", L"登录团队");
  HWND team_field = Field(user, team, false);
  std::wstring offered;
  user.WaitUntil("the team is offered", [&] { return (offered = TextOf(team_field)) == L"demo"; }, team,
                 [&] { return "the team field holds \"" + Utf8(offered) + "\""; });
  RECT field{};
  ::GetWindowRect(team_field, &field);
  user.Click(POINT{(field.left + field.right) / 2, (field.top + field.bottom) / 2});
  user.WaitUntil("the team field has the keyboard", [&] { return HasFocus(team_field); }, team);
  user.PressEnter("confirm the team offered", team_field);
  HWND login = user.WaitForWindow("login window", L"LoginWindow", L"登录");
  HWND name_field = Field(user, login, false);
  user.WaitUntil("the user is offered", [&] { return (offered = TextOf(name_field)) == L"alice"; }, login,
                 [&] { return "the user name field holds \"" + Utf8(offered) + "\""; });
}

TEST(Paths, AUserFolderOutsideTheCodePageKeepsTheAccountAndTheImageCache) { SignInAndStartAgain(L"Zoë"); }

TEST(Paths, AUserFolderWhoseCodePageBytesAreUtf8TooKeepsTheAccountAndTheImageCache) { SignInAndStartAgain(L"谢卢"); }

}  // namespace
}  // namespace smoke
