// A console tool the evidence scripts run under Wine to measure a running program from outside:
//   proc_probe mem PID         prints "WORKING_SET PRIVATE_BYTES" in bytes (GetProcessMemoryInfo)
//   proc_probe handles PID     prints how many handles the process holds, counted in the system
//                              handle table (GetProcessHandleCount answers 0 under Wine)
//   proc_probe gui PID         prints "GDI_OBJECTS USER_OBJECTS" (GetGuiResources; under Wine,
//                              which lacks it, the GDI handle table and the windows are counted)
//   proc_probe spawn PATH ARG [PATH ARG]...
//                              starts each PATH with its ARG, prints its id and the time it was
//                              started (seconds on the clock of Wine's +timestamp traces), one
//                              line each; does not wait
//   proc_probe spawn-limited PATH ARG [PATH ARG]...
//                              the same with the user's limited token, as an unelevated start
//                              gives it (Wine starts every program elevated, with the limited
//                              token linked to its own)
// Process ids are hexadecimal, as `e2e_tool pids` prints them.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/handles.h"

namespace {

using varnlet::platform::win32::UniqueHandle;

DWORD Pid(const wchar_t* hex) { return static_cast<DWORD>(std::wcstoul(hex, nullptr, 16)); }

int Memory(DWORD pid) {
  const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process) return 1;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!::GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
    return 1;
  }
  std::printf("%llu %llu\n", static_cast<unsigned long long>(counters.WorkingSetSize),
              static_cast<unsigned long long>(counters.PrivateUsage));
  return 0;
}

// The layout that NtQuerySystemInformation(SystemHandleInformation) fills.
struct HandleEntry {
  USHORT UniqueProcessId;
  USHORT CreatorBackTraceIndex;
  UCHAR ObjectTypeIndex;
  UCHAR HandleAttributes;
  USHORT HandleValue;
  PVOID Object;
  ULONG GrantedAccess;
};
struct HandleTable {
  ULONG NumberOfHandles;
  HandleEntry Handles[1];
};
using NtQuerySystemInformationFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

int Handles(DWORD pid) {
  const auto query = reinterpret_cast<NtQuerySystemInformationFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return 1;
  std::vector<unsigned char> buffer(1 << 16);
  LONG status = 0;
  for (;;) {
    ULONG needed = 0;
    status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status != kStatusInfoLengthMismatch) break;
    buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed));
  }
  if (status < 0) return 1;
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  unsigned count = 0;
  for (ULONG i = 0; i < table->NumberOfHandles; ++i) {
    // The table keeps 16 bits of the id; Wine's ids are far below that.
    if (table->Handles[i].UniqueProcessId == static_cast<USHORT>(pid)) ++count;
  }
  std::printf("%u\n", count);
  return 0;
}

// Windows of a process, top-level, child and message-only: what Wine's USER objects are.
struct WindowCount {
  DWORD pid;
  unsigned count;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM param) {
  auto* windows = reinterpret_cast<WindowCount*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == windows->pid) ++windows->count;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM param) {
  CountWindow(window, param);
  ::EnumChildWindows(window, &CountWindow, param);
  return TRUE;
}

unsigned UserObjects(DWORD pid) {
  WindowCount windows{pid, 0};
  ::EnumWindows(&CountTopLevel, reinterpret_cast<LPARAM>(&windows));
  for (HWND w = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w != nullptr;
       w = ::FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
    CountTopLevel(w, reinterpret_cast<LPARAM>(&windows));
  }
  return windows.count;
}

// GDI objects in use in the process's GDI handle table, which the process environment block
// points to; entries of a free slot have type 0. The probe must have the target's bitness.
struct GdiHandleEntry {
  ULONGLONG Object;
  ULONG Owner;
  USHORT Unique;
  UCHAR Type;
  UCHAR Flags;
  ULONGLONG UserPointer;
};
constexpr std::size_t kGdiHandles = 0x10000;
#if defined(_WIN64)
constexpr std::size_t kPebGdiTable = 0xF8;
#else
constexpr std::size_t kPebGdiTable = 0x94;
#endif
struct BasicInformation {
  LONG ExitStatus;
  PVOID PebBaseAddress;
  ULONG_PTR Reserved[4];
};
using NtQueryInformationProcessFn = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

bool GdiObjects(HANDLE process, unsigned& count) {
  const auto query = reinterpret_cast<NtQueryInformationProcessFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  BasicInformation basic{};
  if (query == nullptr || query(process, 0, &basic, sizeof basic, nullptr) < 0) return false;
  PVOID table = nullptr;
  SIZE_T read = 0;
  if (!::ReadProcessMemory(process, static_cast<const char*>(basic.PebBaseAddress) + kPebGdiTable, &table, sizeof table,
                           &read) ||
      read != sizeof table) {
    return false;
  }
#if !defined(_WIN64)
  // Wine's WoW64 fills the table's address in the 64-bit PEB only, which it puts one page below
  // the 32-bit one (measured under Wine 8); the address itself lies below 4 GiB.
  constexpr std::size_t kPeb64Below = 0x1000;
  constexpr std::size_t kPeb64GdiTable = 0xF8;
  if (table == nullptr) {
    ULONGLONG table64 = 0;
    if (!::ReadProcessMemory(process, static_cast<const char*>(basic.PebBaseAddress) - kPeb64Below + kPeb64GdiTable,
                             &table64, sizeof table64, &read) ||
        read != sizeof table64 || table64 > 0xFFFFFFFFull) {
      return false;
    }
    table = reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(table64));
  }
#endif
  if (table == nullptr) return false;
  std::vector<GdiHandleEntry> entries(kGdiHandles);
  if (!::ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(GdiHandleEntry), &read) ||
      read != entries.size() * sizeof(GdiHandleEntry)) {
    return false;
  }
  count = static_cast<unsigned>(
      std::count_if(entries.begin(), entries.end(), [](const GdiHandleEntry& e) { return e.Type != 0; }));
  return true;
}

// GetGuiResources where the system has it; Wine answers ERROR_CALL_NOT_IMPLEMENTED, and then the
// GDI handle table and the process's windows are counted instead.
int GuiObjects(DWORD pid) {
  const UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process) return 1;
  ::SetLastError(0);
  unsigned gdi = ::GetGuiResources(process.get(), GR_GDIOBJECTS);
  unsigned user = ::GetGuiResources(process.get(), GR_USEROBJECTS);
  if (gdi == 0 && user == 0 && ::GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
    if (!GdiObjects(process.get(), gdi)) return 1;
    user = UserObjects(pid);
  }
  std::printf("%u %u\n", gdi, user);
  return 0;
}

// The limited token linked to the probe's own elevated one: null where there is none.
HANDLE LimitedToken() {
  HANDLE own = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &own)) return nullptr;
  const UniqueHandle token(own);
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (!::GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) return nullptr;
  return linked.LinkedToken;
}

// With `token`, the process runs with it; without, with the probe's own.
int Spawn(const wchar_t* path, const wchar_t* argument, HANDLE token) {
  std::wstring commandLine = std::wstring(L"\"") + path + L"\" " + argument;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const BOOL started = token != nullptr ? ::CreateProcessAsUserW(token, path, commandLine.data(), nullptr, nullptr,
                                                                 FALSE, 0, nullptr, nullptr, &startup, &info)
                                        : ::CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                                           nullptr, nullptr, &startup, &info);
  if (!started) return 1;
  const UniqueHandle process(info.hProcess);
  const UniqueHandle thread(info.hThread);
  // Wine's performance counter and its trace timestamps read the same monotonic clock.
  LARGE_INTEGER now, frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  std::printf("%08lx %.3f\n", static_cast<unsigned long>(info.dwProcessId),
              static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart));
  return 0;
}

// Several at once: starting the probe under a loaded Wine takes seconds, each process only
// milliseconds. Stops at the first that cannot be started.
int SpawnAll(int count, wchar_t** pairs, bool limited) {
  const UniqueHandle token(limited ? LimitedToken() : nullptr);
  if (limited && !token) return 1;
  for (int i = 0; i + 1 < count; i += 2) {
    if (const int status = Spawn(pairs[i], pairs[i + 1], token.get()); status != 0) return status;
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring command = argv[1];
  if (command == L"mem" && argc == 3) return Memory(Pid(argv[2]));
  if (command == L"handles" && argc == 3) return Handles(Pid(argv[2]));
  if (command == L"gui" && argc == 3) return GuiObjects(Pid(argv[2]));
  if (command == L"spawn" && argc >= 4 && argc % 2 == 0) return SpawnAll(argc - 2, argv + 2, false);
  if (command == L"spawn-limited" && argc >= 4 && argc % 2 == 0) return SpawnAll(argc - 2, argv + 2, true);
  return 2;
}
