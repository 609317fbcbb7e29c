// The installers' checks, as a library each installer carries: the NSIS installer calls the
// plain functions through its System plug-in; the MSI runs the two custom actions. Both judge
// with the rules the program itself applies, so there is one rule in one place.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "trust/autostart_trust.h"
#include "setup/install_folder.h"
#include "setup/win32/setup_file_security.h"

namespace {

using varnlet::trust::ExecutableTrust;
using varnlet::setup::InstallFolderVerdict;

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

std::wstring FolderRefusal(const std::wstring& folder, InstallFolderVerdict verdict) {
  // Why, by the verdict's number from Occupied on; anything else cannot be used.
  constexpr std::array<std::wstring_view, 4> kWhy{
      L"ya existe y no es la de la versi\u00f3n instalada.",
      L"su propietario no es Administradores, SYSTEM ni TrustedInstaller.",
      L"ella, una carpeta por encima o algo en ella es un v\u00ednculo o una uni\u00f3n.",
      L"no es una ruta local v\u00e1lida o no se pudo leer.",
  };
  static_assert(static_cast<int>(InstallFolderVerdict::Unusable) - static_cast<int>(InstallFolderVerdict::Occupied) ==
                    static_cast<int>(kWhy.size()) - 1,
                "one reason a refusal, in the verdicts' order");
  const auto index = static_cast<std::size_t>(verdict) - static_cast<std::size_t>(InstallFolderVerdict::Occupied);
  return L"Varnlet! no se instala en la carpeta " + folder + L": " +
         std::wstring(kWhy[std::min(index, kWhy.size() - 1)]) +
         L" Elija una carpeta nueva, como la que se propone en Archivos de programa.";
}

std::wstring AutostartRefusal(const std::wstring& exe) {
  return L"Varnlet! no se puede iniciar con Windows desde " + exe +
         L": otros usuarios pueden cambiar el programa o su carpeta, o no se pudo comprobar. "
         L"Instale sin AUTOSTART=1, o en una carpeta nueva de Archivos de programa.";
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
  return static_cast<int>(
      varnlet::setup::JudgeInstallFolder(folder, previous == nullptr ? L"" : previous, varnlet::setup::SetupFileSecurity()));
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
  const varnlet::trust::RunValueTarget target = varnlet::trust::JudgeRunValueTarget(exe, varnlet::setup::SetupFileSecurity());
  if (target.trust != ExecutableTrust::Trusted) return static_cast<int>(target.trust);
  if (target.path.size() >= size) return static_cast<int>(ExecutableTrust::Unknown);
  target.path.copy(path, target.path.size());
  path[target.path.size()] = L'\0';
  return static_cast<int>(ExecutableTrust::Trusted);
}

// Custom action, before anything is written: INSTALLFOLDER must be new, or the installed
// version's own folder.
__declspec(dllexport) UINT WINAPI CheckInstallFolder(MSIHANDLE install) {
  const std::wstring folder = WithoutFinalBackslash(Property(install, L"INSTALLFOLDER"));
  const InstallFolderVerdict verdict =
      varnlet::setup::JudgeInstallFolder(folder, PreviousInstall(install, folder), varnlet::setup::SetupFileSecurity());
  if (verdict != InstallFolderVerdict::Create && verdict != InstallFolderVerdict::Reuse) {
    ReportError(install, FolderRefusal(folder, verdict));
    return ERROR_INSTALL_FAILURE;
  }
  // The start-up value is judged again on the installed exe (CheckAutostart); judged here on the
  // folder too, so that a refusal comes before an upgrade removes the installed version.
  if (WritesRunValue(install) &&
      varnlet::trust::JudgeRunValueFolder(folder, varnlet::setup::SetupFileSecurity()) != ExecutableTrust::Trusted) {
    ReportError(install, AutostartRefusal(folder + L"\\varnlet.exe"));
    return ERROR_INSTALL_FAILURE;
  }
  return ERROR_SUCCESS;
}

// Deferred custom action, once the files are in place and before the start-up value is written:
// the installed exe (its CustomActionData) must be one the program itself would add.
__declspec(dllexport) UINT WINAPI CheckAutostart(MSIHANDLE install) {
  const std::wstring exe = Property(install, L"CustomActionData");
  const varnlet::trust::RunValueTarget target = varnlet::trust::JudgeRunValueTarget(exe, varnlet::setup::SetupFileSecurity());
  if (target.trust == ExecutableTrust::Trusted) return ERROR_SUCCESS;
  ReportError(install, AutostartRefusal(exe));
  return ERROR_INSTALL_FAILURE;
}

}  // extern "C"
