// The installers' checks, as a library each installer carries: the NSIS installer calls the
// plain functions through its System plug-in; the MSI runs the three custom actions. Both judge
// with the rules the program itself applies, so there is one rule in one place.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <string_view>

#include "build_config.h"
#include "setup/command_line.h"
#include "setup/install_folder.h"
#include "setup/win32/setup_file_security.h"
#include "trust/autostart_trust.h"
#include "trust/refusals.h"

namespace {

using varnlet::setup::InstallFolderVerdict;
using varnlet::trust::ExecutableTrust;

// msi.dll is already loaded in the process that runs a custom action; it is never loaded here,
// so the library imports nothing but KnownDLLs.
template <class Function>
Function* MsiCall(const char* name) {
  const HMODULE msi = ::GetModuleHandleW(L"msi.dll");
  return msi == nullptr ? nullptr : reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(msi, name)));
}

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  auto* get = MsiCall<decltype(::MsiGetPropertyW)>("MsiGetPropertyW");
  if (get == nullptr) return {};
  std::wstring value(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = static_cast<DWORD>(value.size());
    const UINT status = get(install, name, value.data(), &size);
    if (status == ERROR_SUCCESS) {
      value.resize(size);
      return value;
    }
    if (status != ERROR_MORE_DATA) return {};
    value.assign(size + 1, L'\0');
  }
  return {};
}

// Shows (and logs) an error the way Windows Installer does, in the package's language.
void ReportError(MSIHANDLE install, const std::wstring& text) {
  auto* create = MsiCall<decltype(::MsiCreateRecord)>("MsiCreateRecord");
  auto* set = MsiCall<decltype(::MsiRecordSetStringW)>("MsiRecordSetStringW");
  auto* process = MsiCall<decltype(::MsiProcessMessage)>("MsiProcessMessage");
  auto* close = MsiCall<decltype(::MsiCloseHandle)>("MsiCloseHandle");
  if (create == nullptr || set == nullptr || process == nullptr || close == nullptr) return;
  const MSIHANDLE record = create(1);
  if (record == 0) return;
  set(record, 0, text.c_str());
  process(install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), record);
  close(record);
}

std::wstring WithoutFinalBackslash(std::wstring path) {
  if (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

// The folder of an installed version with the package's upgrade code, when it is `folder`: where
// its program's file lies (the component VARNLETPROGRAM names holds the exe alone).
std::wstring PreviousInstall(MSIHANDLE install, const std::wstring& folder) {
  auto* related = MsiCall<decltype(::MsiEnumRelatedProductsW)>("MsiEnumRelatedProductsW");
  auto* componentPath = MsiCall<decltype(::MsiGetComponentPathW)>("MsiGetComponentPathW");
  const std::wstring upgradeCode = Property(install, L"UpgradeCode");
  const std::wstring component = Property(install, L"VARNLETPROGRAM");
  if (related == nullptr || componentPath == nullptr || upgradeCode.empty() || component.empty()) return {};
  wchar_t product[39] = {};
  for (DWORD index = 0; related(upgradeCode.c_str(), 0, index, product) == ERROR_SUCCESS; ++index) {
    wchar_t exe[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (componentPath(product, component.c_str(), exe, &size) != INSTALLSTATE_LOCAL) continue;
    std::wstring previous(exe);
    previous.resize(previous.find_last_of(L'\\') == std::wstring::npos ? 0 : previous.find_last_of(L'\\'));
    if (::CompareStringOrdinal(previous.c_str(), -1, folder.c_str(), -1, TRUE) == CSTR_EQUAL) return previous;
  }
  return {};
}

// Copies `text` with its NUL into the caller's buffer of `size` characters; false, leaving an
// empty string, where it does not fit.
bool CopyOut(const std::wstring& text, wchar_t* out, DWORD size) {
  if (out == nullptr || size == 0) return false;
  out[0] = L'\0';
  if (text.size() >= size) return false;
  text.copy(out, text.size());
  out[text.size()] = L'\0';
  return true;
}

// NSIS's plug-in interface, as far as it is used here: a stack of strings, each entry allocated
// with GlobalAlloc as NSIS frees it; and the block of the installer's variables, `size`
// characters each, in NSIS's order: $0-$9, $R0-$R9, $CMDLINE, $INSTDIR, $OUTDIR, $EXEDIR,
// $LANGUAGE, $TEMP, $PLUGINSDIR, $EXEPATH.
struct NsisStackEntry {
  NsisStackEntry* next;
  wchar_t text[1];
};
constexpr int kPluginsDirVariable = 26;
constexpr int kExePathVariable = 27;

bool PopString(NsisStackEntry** stack, std::wstring& text) {
  NsisStackEntry* top = stack == nullptr ? nullptr : *stack;
  if (top == nullptr) return false;
  text = top->text;
  *stack = top->next;
  ::GlobalFree(top);
  return true;
}

void PushString(NsisStackEntry** stack, int size, const std::wstring& text) {
  if (stack == nullptr || size <= 0) return;
  auto* entry = static_cast<NsisStackEntry*>(
      ::GlobalAlloc(GPTR, sizeof(NsisStackEntry) + static_cast<std::size_t>(size) * sizeof(wchar_t)));
  if (entry == nullptr) return;
  ::lstrcpynW(entry->text, text.c_str(), size);
  entry->next = *stack;
  *stack = entry;
}

// A folder of its own in Windows' temporary folder (the system's, never a user's profile), made
// with `sddl` in the call that creates it: a name that exists is someone else's, and another is
// tried. Its path, or "" with the system's error in `error`.
std::wstring MakeOwnFolder(const std::wstring& sddl, DWORD& error) {
  wchar_t windows[MAX_PATH] = {};
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    error = length == 0 ? ::GetLastError() : static_cast<DWORD>(ERROR_BUFFER_OVERFLOW);
    return {};
  }
  const std::wstring stem = std::wstring(windows, length) + L"\\Temp\\" + std::wstring(varnlet::config::kShortName) +
                            L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount()) +
                            L"-";
  for (int attempt = 0; attempt < 10; ++attempt) {
    const std::wstring folder = stem + std::to_wstring(attempt);
    error = varnlet::setup::CreateInstallFolder(folder, sddl, varnlet::setup::SetupFileSecurity());
    if (error == ERROR_SUCCESS) return folder;
    if (error != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

// Whether the install writes the start-up value: the component that holds it is to be installed.
bool WritesRunValue(MSIHANDLE install) {
  auto* state = MsiCall<decltype(::MsiGetComponentStateW)>("MsiGetComponentStateW");
  INSTALLSTATE installed = INSTALLSTATE_UNKNOWN;
  INSTALLSTATE action = INSTALLSTATE_UNKNOWN;
  return state != nullptr && state(install, L"Autostart", &installed, &action) == ERROR_SUCCESS &&
         action == INSTALLSTATE_LOCAL;
}

}  // namespace

extern "C" {

// The verdict on an install folder (InstallFolderVerdict's number); `previous` is where the
// installed version lives, "" for none.
__declspec(dllexport) int WINAPI JudgeInstallFolder(const wchar_t* folder, const wchar_t* previous) {
  if (folder == nullptr) return static_cast<int>(InstallFolderVerdict::Unusable);
  return static_cast<int>(varnlet::setup::JudgeInstallFolder(folder, previous == nullptr ? L"" : previous,
                                                             varnlet::setup::SetupFileSecurity()));
}

// Makes the folder, and any missing above it, with the descriptor `sddl` from the instant it
// exists; 0 or the system's error.
__declspec(dllexport) DWORD WINAPI CreateInstallFolder(const wchar_t* folder, const wchar_t* sddl) {
  if (folder == nullptr || sddl == nullptr) return ERROR_INVALID_PARAMETER;
  return varnlet::setup::CreateInstallFolder(folder, sddl, varnlet::setup::SetupFileSecurity());
}

// The verdict on an exe for the Run value (ExecutableTrust's number); when it may run at every
// logon, its final path into `path`, which holds `size` characters.
__declspec(dllexport) int WINAPI JudgeRunValueTarget(const wchar_t* exe, wchar_t* path, DWORD size) {
  if (exe == nullptr || path == nullptr || size == 0) return static_cast<int>(ExecutableTrust::Unknown);
  path[0] = L'\0';
  const varnlet::trust::RunValueTarget target =
      varnlet::trust::JudgeRunValueTarget(exe, varnlet::setup::SetupFileSecurity());
  if (target.trust != ExecutableTrust::Trusted) return static_cast<int>(target.trust);
  return CopyOut(target.path, path, size) ? static_cast<int>(ExecutableTrust::Trusted)
                                          : static_cast<int>(ExecutableTrust::Unknown);
}

// The installer's refusal of `folder` for the verdict `verdict`, in the language `languageId`
// (the installer's own), into `text` of `size` characters; 0, or 1 where it does not fit.
__declspec(dllexport) int WINAPI
    FolderRefusalText(const wchar_t* folder, int verdict, int languageId, wchar_t* text, DWORD size) {
  const std::wstring message =
      varnlet::trust::FolderRefusal(folder == nullptr ? L"" : folder, static_cast<InstallFolderVerdict>(verdict),
                                    varnlet::trust::LanguageOf(static_cast<unsigned>(languageId)));
  return CopyOut(message, text, size) ? 0 : 1;
}

// The installer's message for an install without the start-up value, for the verdict `trust`.
__declspec(dllexport) int WINAPI AutostartRefusalText(int trust, int languageId, wchar_t* text, DWORD size) {
  const std::wstring message = varnlet::trust::InstalledWithoutAutostart(
      static_cast<ExecutableTrust>(trust), varnlet::trust::LanguageOf(static_cast<unsigned>(languageId)));
  return CopyOut(message, text, size) ? 0 : 1;
}

// NSIS plug-in, called before any other: makes the installer's plug-ins folder (MakeOwnFolder,
// with the descriptor popped from the stack) and sets $PLUGINSDIR to it, which NSIS then uses
// instead of making one itself in %TEMP%. Pushes "0", or the system's error. The variables'
// layout is checked first ($EXEPATH is this process's exe, $PLUGINSDIR still unset): any other
// NSIS than the one the installer was built with is refused, never written into blindly.
__declspec(dllexport) void __cdecl MakePluginsDir(HWND, int size, wchar_t* variables, NsisStackEntry** stack, void*) {
  std::wstring sddl;
  if (size <= 0 || variables == nullptr || !PopString(stack, sddl)) {
    PushString(stack, size, std::to_wstring(ERROR_INVALID_PARAMETER));
    return;
  }
  const auto variable = [&](int index) { return variables + static_cast<std::ptrdiff_t>(index) * size; };
  wchar_t exe[MAX_PATH] = {};
  const DWORD exeLength = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  if (exeLength == 0 || exeLength >= MAX_PATH ||
      ::CompareStringOrdinal(variable(kExePathVariable), -1, exe, -1, TRUE) != CSTR_EQUAL ||
      variable(kPluginsDirVariable)[0] != L'\0') {
    PushString(stack, size, std::to_wstring(ERROR_INVALID_DATA));
    return;
  }
  DWORD error = ERROR_SUCCESS;
  const std::wstring folder = MakeOwnFolder(sddl, error);
  if (folder.empty() || folder.size() >= static_cast<std::size_t>(size)) {
    // A folder no one is told of would stay behind.
    if (!folder.empty()) ::RemoveDirectoryW(folder.c_str());
    PushString(stack, size, std::to_wstring(error == ERROR_SUCCESS ? ERROR_BUFFER_OVERFLOW : error));
    return;
  }
  folder.copy(variable(kPluginsDirVariable), folder.size());
  variable(kPluginsDirVariable)[folder.size()] = L'\0';
  PushString(stack, size, L"0");
}

// A folder of the uninstaller's own in Windows' temporary folder, made as the plug-ins folder is
// (MakeOwnFolder): its path into `folder` of `size` characters; 0, or the system's error.
__declspec(dllexport) DWORD WINAPI MakeTemporaryFolder(const wchar_t* sddl, wchar_t* folder, DWORD size) {
  if (sddl == nullptr || folder == nullptr || size == 0) return ERROR_INVALID_PARAMETER;
  DWORD error = ERROR_SUCCESS;
  const std::wstring made = MakeOwnFolder(sddl, error);
  if (made.empty()) return error == ERROR_SUCCESS ? static_cast<DWORD>(ERROR_INVALID_PARAMETER) : error;
  if (CopyOut(made, folder, size)) return ERROR_SUCCESS;
  // A folder no one is told of would stay behind.
  ::RemoveDirectoryW(made.c_str());
  return ERROR_BUFFER_OVERFLOW;
}

// 1: the library loaded from the plug-ins folder and answers through the System plug-in. Any
// other answer ("error") means neither can be relied on.
__declspec(dllexport) int WINAPI ChecksReady() { return 1; }

// The folder this process's command line names with /D= (FolderParameter's number): Given with
// the folder in `folder` of `size` characters, None, or Malformed (also for one that does not fit).
__declspec(dllexport) int WINAPI InstallFolderParameter(wchar_t* folder, DWORD size) {
  std::wstring found;
  auto verdict = varnlet::setup::InstallFolderParameter(::GetCommandLineW(), found);
  if (!CopyOut(found, folder, size)) verdict = varnlet::setup::FolderParameter::Malformed;
  return static_cast<int>(verdict);
}

// Custom action, before anything is written: INSTALLFOLDER must be new, in a folder that exists
// (Windows Installer would make the missing ones with the rights they inherit), or the installed
// version's own folder.
__declspec(dllexport) UINT WINAPI CheckInstallFolder(MSIHANDLE install) {
  const std::wstring folder = WithoutFinalBackslash(Property(install, L"INSTALLFOLDER"));
  const InstallFolderVerdict verdict =
      varnlet::setup::JudgeInstallFolder(folder, PreviousInstall(install, folder), varnlet::setup::SetupFileSecurity(),
                                         varnlet::setup::MissingParents::Refused);
  if (verdict != InstallFolderVerdict::Create && verdict != InstallFolderVerdict::Reuse) {
    ReportError(install, varnlet::trust::FolderRefusal(folder, verdict, varnlet::trust::Language::Spanish));
    return ERROR_INSTALL_FAILURE;
  }
  // The start-up value is judged again on the installed exe (CheckAutostart); judged here on the
  // folder too, so that a refusal comes before an upgrade removes the installed version.
  if (!WritesRunValue(install)) return ERROR_SUCCESS;
  const ExecutableTrust trust = varnlet::trust::JudgeRunValueFolder(folder, varnlet::setup::SetupFileSecurity());
  if (trust != ExecutableTrust::Trusted) {
    ReportError(install, varnlet::trust::MsiAutostartRefusal(folder + L"\\varnlet.exe", trust));
    return ERROR_INSTALL_FAILURE;
  }
  return ERROR_SUCCESS;
}

// Deferred custom action, once Windows Installer has made INSTALLFOLDER (its CustomActionData), or
// kept it, and removed the previous version, and before it writes a file there: the folder is
// judged again as it stands, since time has passed since CheckInstallFolder.
__declspec(dllexport) UINT WINAPI RecheckInstallFolder(MSIHANDLE install) {
  const std::wstring folder = WithoutFinalBackslash(Property(install, L"CustomActionData"));
  const InstallFolderVerdict verdict =
      varnlet::setup::JudgeFolderBeforeWriting(folder, varnlet::setup::SetupFileSecurity());
  if (verdict == InstallFolderVerdict::Reuse) return ERROR_SUCCESS;
  ReportError(install, varnlet::trust::FolderRefusal(folder, verdict, varnlet::trust::Language::Spanish));
  return ERROR_INSTALL_FAILURE;
}

// Deferred custom action, once the files are in place and before the start-up value is written:
// the installed exe (its CustomActionData) must be one the program itself would add.
__declspec(dllexport) UINT WINAPI CheckAutostart(MSIHANDLE install) {
  const std::wstring exe = Property(install, L"CustomActionData");
  const varnlet::trust::RunValueTarget target =
      varnlet::trust::JudgeRunValueTarget(exe, varnlet::setup::SetupFileSecurity());
  if (target.trust == ExecutableTrust::Trusted) return ERROR_SUCCESS;
  ReportError(install, varnlet::trust::MsiAutostartRefusal(exe, target.trust));
  return ERROR_INSTALL_FAILURE;
}

}  // extern "C"
