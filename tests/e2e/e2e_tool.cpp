// A small console tool the end-to-end scripts run under Wine to look at and poke the running
// program from outside:
//   e2e_tool find CLASS                    prints "HWND VISIBLE"; exit 1 when there is no such window
//   e2e_tool post CLASS MSG WPARAM LPARAM  posts a message (numbers in decimal or 0x hex)
//   e2e_tool post-registered CLASS NAME    posts the registered message NAME with 0, 0
//   e2e_tool pids NAME                     prints the hex ids of processes whose image ends in \NAME
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

unsigned long long Number(const wchar_t* text) { return std::wcstoull(text, nullptr, 0); }

HWND Find(const wchar_t* windowClass) { return ::FindWindowW(windowClass, nullptr); }

int Pids(const wchar_t* name) {
  std::vector<DWORD> ids(4096);
  DWORD bytes = 0;
  if (!::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return 1;
  const std::wstring suffix = std::wstring(L"\\") + name;
  for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
    HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ids[i]);
    if (h == nullptr) continue;
    wchar_t path[MAX_PATH] = {};
    DWORD n = MAX_PATH;
    if (!::QueryFullProcessImageNameW(h, 0, path, &n)) n = 0;
    ::CloseHandle(h);
    const std::wstring p(path, n);
    if (p.size() >= suffix.size() && _wcsicmp(p.c_str() + p.size() - suffix.size(), suffix.c_str()) == 0) {
      std::printf("%08lx\n", static_cast<unsigned long>(ids[i]));
    }
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  if (command == L"find" && argc == 3) {
    const HWND h = Find(argv[2]);
    if (h == nullptr) return 1;
    std::printf("%llu %d\n", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(h)),
                ::IsWindowVisible(h) ? 1 : 0);
    return 0;
  }
  if (command == L"post" && argc == 6) {
    const HWND h = Find(argv[2]);
    if (h == nullptr) return 1;
    return ::PostMessageW(h, static_cast<UINT>(Number(argv[3])), static_cast<WPARAM>(Number(argv[4])),
                          static_cast<LPARAM>(Number(argv[5])))
               ? 0
               : 1;
  }
  if (command == L"post-registered" && argc == 4) {
    const HWND h = Find(argv[2]);
    if (h == nullptr) return 1;
    return ::PostMessageW(h, ::RegisterWindowMessageW(argv[3]), 0, 0) ? 0 : 1;
  }
  if (command == L"pids" && argc == 3) return Pids(argv[2]);
  return 2;
}
