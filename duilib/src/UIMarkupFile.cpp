// Reading a skin file: the one part of the XML reader that calls Windows.
#include <windows.h>

#include "duilib/UIMarkup.h"

namespace DuiLib {

bool CMarkup::LoadFromFile(const CDuiString& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    m_root.reset();
    m_error = L"cannot open the file";
    m_errorLine = 0;
    return false;
  }
  std::string bytes;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (16 << 20);
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    ok = bytes.empty() || (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                           read == bytes.size());
  }
  CloseHandle(file);
  if (!ok) {
    m_root.reset();
    m_error = L"cannot read the file";
    m_errorLine = 0;
    return false;
  }
  return LoadFromBytes(bytes);
}

}  // namespace DuiLib
