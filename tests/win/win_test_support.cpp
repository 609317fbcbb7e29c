#include "win_test_support.h"

#include <stdexcept>

namespace varnlet::wintest {

std::wstring ProgramFolder() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::wstring path(buffer, n);
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

namespace {
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = folder + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(full.c_str());
      }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(folder.c_str());
}
}  // namespace

ScratchFolder::ScratchFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  const DWORD n = ::GetTempPathW(MAX_PATH, temp);
  path_ = std::wstring(temp, n) + name + L"-" + std::to_wstring(::GetCurrentProcessId());
  RemoveTree(path_);
  if (!::CreateDirectoryW(path_.c_str(), nullptr)) throw std::runtime_error("cannot create scratch folder");
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

bool OtherArchitectureRuns() {
  if (sizeof(void*) == 4) return true;
  wchar_t value[2] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"VARNLET_NO_32BIT", value, 2);
  return !(n == 1 && value[0] == L'1');
}

StandIn::StandIn(const ScratchFolder& folder, const std::wstring& relativePath, Architecture architecture) {
  const std::wstring target = folder.path() + L"\\" + relativePath;
  const auto slash = target.find_last_of(L'\\');
  ::CreateDirectoryW(target.substr(0, slash).c_str(), nullptr);
  const wchar_t* source = architecture == Architecture::kOwn ? L"standin.exe" : L"standin-other.exe";
  if (!::CopyFileW((ProgramFolder() + source).c_str(), target.c_str(), FALSE)) {
    throw std::runtime_error("cannot copy the stand-in");
  }
  std::wstring commandLine = L"\"" + target + L"\" 120";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(target.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    throw std::runtime_error("cannot start stand-in");
  }
  ::CloseHandle(pi.hThread);
  process_.reset(pi.hProcess);
  pid_ = pi.dwProcessId;
}

StandIn::~StandIn() {
  if (process_) {
    ::TerminateProcess(process_.get(), 0);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

}  // namespace varnlet::wintest
