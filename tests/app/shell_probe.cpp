// A harmless program for the shell tests to open: it writes its command line into the file named
// by VELTRINA_PROBE_MARKER and exits.
#include <windows.h>

#include <cstdio>

int wmain() {
  wchar_t marker[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"VELTRINA_PROBE_MARKER", marker, MAX_PATH) == 0) return 1;
  FILE* f = _wfopen(marker, L"wb");
  if (!f) return 2;
  const wchar_t* line = GetCommandLineW();
  std::fwrite(line, sizeof(wchar_t), wcslen(line), f);
  std::fclose(f);
  return 0;
}
