#include "veltrina/secret.h"

#include <windows.h>

namespace veltrina {

void WipeSecret(std::string* secret) {
  if (!secret) return;
  SecureZeroMemory(secret->data(), secret->size());
  secret->clear();
}

void WipeSecret(std::wstring* secret) {
  if (!secret) return;
  SecureZeroMemory(secret->data(), secret->size() * sizeof(wchar_t));
  secret->clear();
}

}  // namespace veltrina
