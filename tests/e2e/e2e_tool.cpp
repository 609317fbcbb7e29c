// A small console tool the end-to-end scripts run under Wine to look at and poke the running
// program from outside:
//   e2e_tool find CLASS                    prints "HWND VISIBLE"; exit 1 when there is no such window
//   e2e_tool post CLASS MSG WPARAM LPARAM...
//                                          posts the message once for each LPARAM, back to back
//                                          (numbers in decimal or 0x hex)
//   e2e_tool post-registered CLASS NAME    posts the registered message NAME with 0, 0
//   e2e_tool pids NAME                     prints the hex ids of processes whose image ends in \NAME
//   e2e_tool tray-tips                     prints the text of every tooltip tool of the shell's
//                                          tray (one per icon, holding the icon's tip)
//   e2e_tool tray-delete CLASS ID          deletes the icon ID of the window of CLASS, as a shell
//                                          restart would
//   e2e_tool hold PATH SECONDS             opens PATH sharing reads only, as a copy of a program
//                                          running in another session holds its exe; prints
//                                          "held" and keeps it open for SECONDS
//   e2e_tool run COMMAND_LINE              runs the command line as written, waits, and prints the
//                                          exit code whole (Wine hands Linux its low byte only)
//   e2e_tool refusing-tray N [timed-out]   stands in front of the shell's notification area as
//                                          one that does not answer yet: refuses the first N
//                                          icon requests, then goes, leaving the real one; with
//                                          timed-out, hands each to the real one all the same, as
//                                          a shell whose answer came too late
//   e2e_tool texts CLASS                   prints the text of each child window, one a line, UTF-8
//   e2e_tool load-library NAME             loads the DLL NAME the ordinary way; exit 1 if it fails
//   e2e_tool window CLASS SECONDS          shows nothing, but owns a top-level window of CLASS, as
//                                          another program may; prints "ready", ends when it is
//                                          closed or after SECONDS
//   e2e_tool key-dacl KEY SDDL             gives HKLM\KEY (made if missing) the DACL of SDDL
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/win32/handles.h"

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

void PrintUtf8(const wchar_t* text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), n, nullptr, nullptr);
  std::printf("%s\n", utf8.c_str());
}

struct TrayTips {
  DWORD shellPid = 0;
};

// TTTOOLINFOW as a process of either architecture lays it out: the shell's tooltips read and
// write the record in the shell's own layout, whatever this tool's architecture is.
template <typename Pointer>
struct ToolInfo {
  UINT cbSize;
  UINT uFlags;
  Pointer hwnd;
  Pointer uId;
  RECT rect;
  Pointer hinst;
  Pointer lpszText;
  Pointer lParam;
  Pointer lpReserved;
};

// True when `process` runs 64-bit code.
bool Is64Bit(HANDLE process) {
  SYSTEM_INFO system{};
  ::GetNativeSystemInfo(&system);
  if (system.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_AMD64) return false;
  BOOL wow64 = FALSE;
  return ::IsWow64Process(process, &wow64) && !wow64;
}

// Reads the tools of one of the shell's tooltip windows through memory in the shell's process.
template <typename Pointer>
void PrintTools(HWND tooltip, HANDLE process) {
  constexpr SIZE_T kText = 1024;
  using Info = ToolInfo<Pointer>;
  auto* remote = static_cast<BYTE*>(
      ::VirtualAllocEx(process, nullptr, sizeof(Info) + kText * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
  if (remote == nullptr) return;
  const auto count = static_cast<int>(::SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    Info info{};
    info.cbSize = sizeof info;
    info.lpszText = static_cast<Pointer>(reinterpret_cast<ULONG_PTR>(remote + sizeof info));
    std::vector<wchar_t> text(kText, L'\0');
    ::WriteProcessMemory(process, remote, &info, sizeof info, nullptr);
    ::WriteProcessMemory(process, remote + sizeof info, text.data(), kText * sizeof(wchar_t), nullptr);
    if (!::SendMessageW(tooltip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote))) continue;
    ::ReadProcessMemory(process, remote + sizeof info, text.data(), kText * sizeof(wchar_t), nullptr);
    text.back() = L'\0';
    PrintUtf8(text.data());
  }
  ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
}

void PrintTools(HWND tooltip, DWORD pid) {
  HANDLE process =
      ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (process == nullptr) return;
  if (Is64Bit(process)) {
    PrintTools<UINT64>(tooltip, process);
  } else {
    PrintTools<UINT32>(tooltip, process);
  }
  ::CloseHandle(process);
}

BOOL CALLBACK EachTooltip(HWND hwnd, LPARAM context) {
  wchar_t cls[64] = {};
  ::GetClassNameW(hwnd, cls, 64);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  if (_wcsicmp(cls, TOOLTIPS_CLASSW) == 0 && pid == reinterpret_cast<TrayTips*>(context)->shellPid) {
    PrintTools(hwnd, pid);
  }
  return TRUE;
}

int PrintTrayTips() {
  const HWND tray = ::FindWindowW(L"Shell_TrayWnd", nullptr);
  TrayTips tips;
  if (tray != nullptr) ::GetWindowThreadProcessId(tray, &tips.shellPid);
  if (tips.shellPid == 0) return 1;
  ::EnumWindows(&EachTooltip, reinterpret_cast<LPARAM>(&tips));
  return 0;
}

int TrayDelete(const wchar_t* windowClass, UINT id) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = Find(windowClass);
  data.uID = id;
  return data.hWnd != nullptr && ::Shell_NotifyIconW(NIM_DELETE, &data) ? 0 : 1;
}

int Hold(const wchar_t* path, DWORD seconds) {
  const varnlet::platform::win32::UniqueHandle file(
      ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 1;
  std::printf("held\n");
  std::fflush(stdout);
  ::Sleep(seconds * 1000);
  return 0;
}

int Run(const wchar_t* commandLine) {
  std::wstring line = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return 1;
  const varnlet::platform::win32::UniqueHandle process(info.hProcess);
  const varnlet::platform::win32::UniqueHandle thread(info.hThread);
  DWORD code = 0;
  if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process.get(), &code)) {
    return 1;
  }
  std::printf("%lu\n", static_cast<unsigned long>(code));
  return 0;
}

// Shell_NotifyIcon sends its request to the first window of this class it finds; a new topmost
// window comes before the shell's own.
long refusalsLeft = 0;
bool handOn = false;

LRESULT CALLBACK RefusingTrayProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_COPYDATA) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  if (handOn) {
    if (const HWND shell = ::FindWindowExW(nullptr, hwnd, L"Shell_TrayWnd", nullptr)) {
      ::SendMessageW(shell, WM_COPYDATA, wParam, lParam);
    }
  }
  if (--refusalsLeft <= 0) ::PostQuitMessage(0);
  return FALSE;
}

int RefusingTray(long refusals, bool timedOut) {
  refusalsLeft = refusals;
  handOn = timedOut;
  WNDCLASSW wc{};
  wc.lpszClassName = L"Shell_TrayWnd";
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpfnWndProc = &RefusingTrayProc;
  if (::RegisterClassW(&wc) == 0) return 1;
  const HWND tray = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0,
                                      nullptr, nullptr, wc.hInstance, nullptr);
  if (tray == nullptr || ::FindWindowW(wc.lpszClassName, nullptr) != tray) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
  ::DestroyWindow(tray);
  return 0;
}

// The whole text, however long: a refusal's box says a good deal.
BOOL CALLBACK PrintText(HWND hwnd, LPARAM) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  const int n = std::max(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size())), 0);
  std::string utf8(static_cast<std::size_t>(n) * 4, '\0');
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), n, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
  std::printf("%.*s\n", bytes, utf8.c_str());
  return TRUE;
}

LRESULT CALLBACK StandInProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

int StandInWindow(const wchar_t* windowClass, UINT seconds) {
  WNDCLASSW wc{};
  wc.lpszClassName = windowClass;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpfnWndProc = &StandInProc;
  if (::RegisterClassW(&wc) == 0) return 1;
  const varnlet::platform::win32::UniqueHwnd window(
      ::CreateWindowExW(0, windowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr));
  if (!window || ::SetTimer(window.get(), 1, seconds * 1000, nullptr) == 0) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER) ::DispatchMessageW(&msg);
  return 0;
}

int SetKeyDacl(const wchar_t* key, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &raw, nullptr)) {
    return 1;
  }
  const varnlet::platform::win32::UniqueLocal descriptor(raw);
  HKEY opened = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, WRITE_DAC, nullptr, &opened, nullptr) !=
      ERROR_SUCCESS) {
    return 1;
  }
  const varnlet::platform::win32::UniqueHkey owned(opened);
  return ::RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, raw) == ERROR_SUCCESS ? 0 : 1;
}

// The first child window, at any depth, of the class `windowClass`.
struct ChildSearch {
  const wchar_t* windowClass;
  HWND found;
};
BOOL CALLBACK FindChild(HWND hwnd, LPARAM data) {
  auto* wanted = reinterpret_cast<ChildSearch*>(data);
  wchar_t name[256] = {};
  if (::GetClassNameW(hwnd, name, 256) == 0 || ::lstrcmpiW(name, wanted->windowClass) != 0) return TRUE;
  wanted->found = hwnd;
  return FALSE;
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
  if (command == L"post" && argc >= 6) {
    const HWND h = Find(argv[2]);
    if (h == nullptr) return 1;
    for (int i = 5; i < argc; ++i) {
      if (!::PostMessageW(h, static_cast<UINT>(Number(argv[3])), static_cast<WPARAM>(Number(argv[4])),
                          static_cast<LPARAM>(Number(argv[i])))) {
        return 1;
      }
    }
    return 0;
  }
  // send-child CLASS CHILD_CLASS MSG WPARAM LPARAM: sends the message to the first child window
  // of that class, as an accessibility client's WM_GETOBJECT comes; prints what it returned.
  if (command == L"send-child" && argc == 7) {
    const HWND parent = Find(argv[2]);
    ChildSearch search{argv[3], nullptr};
    if (parent != nullptr) ::EnumChildWindows(parent, FindChild, reinterpret_cast<LPARAM>(&search));
    const HWND child = search.found;
    if (child == nullptr) return 1;
    DWORD_PTR result = 0;
    if (::SendMessageTimeoutW(child, static_cast<UINT>(Number(argv[4])), static_cast<WPARAM>(Number(argv[5])),
                              static_cast<LPARAM>(Number(argv[6])), SMTO_ABORTIFHUNG, 10000, &result) == 0) {
      return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(result));
    return 0;
  }
  if (command == L"post-registered" && argc == 4) {
    const HWND h = Find(argv[2]);
    if (h == nullptr) return 1;
    return ::PostMessageW(h, ::RegisterWindowMessageW(argv[3]), 0, 0) ? 0 : 1;
  }
  if (command == L"pids" && argc == 3) return Pids(argv[2]);
  if (command == L"tray-tips" && argc == 2) return PrintTrayTips();
  if (command == L"refusing-tray" && (argc == 3 || argc == 4)) {
    return RefusingTray(static_cast<long>(Number(argv[2])), argc == 4 && std::wstring(argv[3]) == L"timed-out");
  }
  if (command == L"texts" && argc == 3) {
    const HWND h = Find(argv[2]);
    if (h == nullptr) return 1;
    ::EnumChildWindows(h, &PrintText, 0);
    return 0;
  }
  if (command == L"load-library" && argc == 3) return ::LoadLibraryW(argv[2]) != nullptr ? 0 : 1;
  if (command == L"tray-delete" && argc == 4) return TrayDelete(argv[2], static_cast<UINT>(Number(argv[3])));
  if (command == L"run" && argc == 3) return Run(argv[2]);
  if (command == L"window" && argc == 4) return StandInWindow(argv[2], static_cast<UINT>(Number(argv[3])));
  if (command == L"key-dacl" && argc == 4) return SetKeyDacl(argv[2], argv[3]);
  if (command == L"hold" && argc == 4) return Hold(argv[2], static_cast<DWORD>(Number(argv[3])));
  return 2;
}
