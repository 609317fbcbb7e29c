// A console tool the evidence scripts run under Wine to measure a running program from outside:
//   proc_probe mem PID         prints "WORKING_SET PRIVATE_BYTES" in bytes (GetProcessMemoryInfo)
//   proc_probe handles PID     prints how many handles the process holds, counted in the system
//                              handle table (GetProcessHandleCount answers 0 under Wine)
//   proc_probe spawn PATH ARG  starts PATH with ARG, prints its id and the time it was started
//                              (seconds on the clock of Wine's +timestamp traces); does not wait
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

int Spawn(const wchar_t* path, const wchar_t* argument) {
  std::wstring commandLine = std::wstring(L"\"") + path + L"\" " + argument;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return 1;
  }
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring command = argv[1];
  if (command == L"mem" && argc == 3) return Memory(Pid(argv[2]));
  if (command == L"handles" && argc == 3) return Handles(Pid(argv[2]));
  if (command == L"spawn" && argc == 4) return Spawn(argv[2], argv[3]);
  return 2;
}
