// cQueryReg's file associations and COM class registration, all in the class registry.
#include "registry/cQueryReg.h"
#include "registry/text_formats.h"
#include "registry/unique_key.h"

namespace varnlet::registry {
namespace {

const wchar_t* const kMachineClasses = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\";
const wchar_t* const kClassesBelowMachine = L"Software\\Classes\\";

std::wstring Trim(const std::wstring& text) {
  const std::size_t first = text.find_first_not_of(L' ');
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

// "txt" becomes ".txt"; a name with a dot anywhere stays as it is.
std::wstring NormaliseExtension(const std::wstring& sExt) {
  return sExt.find(L'.') == std::wstring::npos ? L"." + sExt : sExt;
}

// A program named without any dot is taken to be an .exe.
std::wstring ProgramFile(const std::wstring& sExe) {
  return !sExe.empty() && sExe.find(L'.') == std::wstring::npos ? sExe + L".exe" : sExe;
}

}  // namespace

void cQueryReg::SetDefaultText(RegKey hKey, const std::wstring& subkey, const std::wstring& text) {
  const std::string data = Ansi(text);
  api_.RegSetValueA(hKey, Ansi(subkey).c_str(), kRegSz, data.c_str(), static_cast<std::uint32_t>(data.size()));
}

void cQueryReg::AsociarExt(const std::wstring& sExt, const std::wstring& sExe, std::wstring sCommand, bool bDefault,
                           std::wstring sProgId, std::wstring sDescription) {
  const std::wstring extension = NormaliseExtension(Trim(sExt));
  std::wstring program = ProgramFile(Trim(sExe));
  if (!program.empty()) program += L' ';
  sCommand = Trim(sCommand);
  sProgId = Trim(sProgId);
  sDescription = Trim(sDescription);
  if (sProgId.empty()) sProgId = L"progID" + extension;
  if (sDescription.empty()) sDescription = L"Descripción de " + sProgId;
  const std::wstring& label = sCommand;
  std::wstring verb = sCommand;
  if (const std::size_t amp = verb.find(L'&'); amp != std::wstring::npos) verb.erase(amp, 1);

  // An extension that has a ProgID keeps it, with its description.
  if (QueryRegBase(extension, kHkeyClassesRoot).empty()) {
    SetDefaultText(kHkeyClassesRoot, extension, sProgId);
    SetDefaultText(kHkeyClassesRoot, sProgId, sDescription);
  }
  const std::wstring progId = QueryRegBase(extension, kHkeyClassesRoot);
  if (progId.empty()) return;
  RegKey opened = 0;
  if (api_.RegCreateKeyA(kHkeyLocalMachine, Ansi(kClassesBelowMachine + progId + L"\\shell").c_str(), &opened) !=
      kErrorSuccess) {
    return;
  }
  const UniqueKey shell(api_, opened);
  // "open" is named by the shell itself; any other verb shows its label.
  if (verb != L"open") SetDefaultText(shell.get(), verb, label);
  if (!program.empty()) SetDefaultText(shell.get(), verb + L"\\command", program + L"\"%1\"");
  if (bDefault) SetDefaultText(shell.get(), L"", verb);
}

void cQueryReg::AsociarIcono(const std::wstring& sExt, const std::wstring& sExe, std::int32_t Icono) {
  const std::wstring ext = NormaliseExtension(Trim(sExt));
  const std::wstring program = ProgramFile(Trim(sExe));
  const std::wstring progId = QueryRegBase(ext, kHkeyClassesRoot);
  if (progId.empty()) return;
  const std::wstring icon = kClassesBelowMachine + progId + L"\\DefaultIcon";
  if (program.empty()) {
    DeleteKey(icon, L"", kHkeyLocalMachine);
    return;
  }
  RegKey opened = 0;
  if (api_.RegCreateKeyA(kHkeyLocalMachine, Ansi(icon).c_str(), &opened) != kErrorSuccess) return;
  const UniqueKey key(api_, opened);
  SetDefaultText(key.get(), L"", program + L"," + DecimalText(Icono));
}

void cQueryReg::DesasociarExt(const std::wstring& sExt) {
  const std::wstring ext = NormaliseExtension(sExt);
  const std::wstring progId = QueryRegBase(ext, kHkeyClassesRoot);
  if (progId.empty()) return;
  DeleteKeyTree(kHkeyClassesRoot, ext);
  DeleteKeyTree(kHkeyClassesRoot, progId);
}

std::wstring cQueryReg::ClassCLSID(const std::wstring& sClass) {
  return GetRegString(kMachineClasses + sClass + L"\\clsid");
}

std::wstring cQueryReg::ClassTypeLib(const std::wstring& sClass) {
  const std::wstring clsid = ClassCLSID(sClass);
  if (clsid.empty()) return {};
  return GetRegString(kMachineClasses + (L"CLSID\\" + clsid) + L"\\TypeLib");
}

RegStatus cQueryReg::UnRegister(const std::wstring& sClass) {
  // A class name that names no key would make the ProgID key all of Software\Classes.
  if (NamesNoSubkey(Trim(sClass))) return kErrorFileNotFound;
  const std::wstring clsid = ClassCLSID(sClass);
  if (clsid.empty()) return kErrorFileNotFound;
  if (const RegStatus status = DeleteKey(kMachineClasses + sClass); status != kErrorSuccess) return status;
  const std::wstring typeLib = GetRegString(kMachineClasses + (L"CLSID\\" + clsid) + L"\\TypeLib");
  if (typeLib.empty()) return kErrorFileNotFound;
  if (const RegStatus status = DeleteKey(kMachineClasses + (L"CLSID\\" + clsid)); status != kErrorSuccess) {
    return status;
  }
  return DeleteKey(kMachineClasses + (L"TypeLib\\" + typeLib));
}

}  // namespace varnlet::registry
