// cQueryReg's file associations and COM class registration, all in the class registry.
#include <algorithm>
#include <array>
#include <string_view>

#include "base/ascii_case.h"
#include "registry/cQueryReg.h"
#include "registry/text_formats.h"
#include "registry/unique_key.h"

namespace varnlet::registry {
namespace {

const wchar_t* const kMachineClasses = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\";
// The classes below a root of their own: the machine's, or the user's.
const wchar_t* const kClassesBelowRoot = L"Software\\Classes\\";

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

// Keys of HKEY_CLASSES_ROOT that the system owns. Sources: the subkeys the Windows documentation
// describes under HKEY_CLASSES_ROOT ("HKEY_CLASSES_ROOT Key", "File Types and File
// Associations", "Perceived Types and Application Registration": "*", AllFilesystemObjects,
// Applications, Directory, Drive, Folder, Network, Printers, SystemFileAssociations, Unknown, ...);
// the COM and Windows Runtime registration keys (AppID, CLSID, Component Categories, Interface,
// Record, TypeLib, ActivatableClasses, Extensions, PackagedCom); Windows Installer's keys; the
// classes of the program files the shell starts (exefile, batfile, ...) and the protocols it
// opens; and the keys a fresh Windows 10 shows there besides ProgIDs.
// clang-format off
constexpr std::array<std::wstring_view, 74> kSystemClasses = {
    L"*", L"ActivatableClasses", L"AllFilesystemObjects", L"AppID", L"Applications", L"AudioCD", L"batfile",
    L"chm.file", L"CLSID", L"cmdfile", L"comfile", L"Component Categories", L"CompressedFolder", L"cplfile",
    L"DesktopBackground", L"DeviceDisplayObject", L"Directory", L"DirectShow", L"dllfile", L"Drive", L"DVD",
    L"exefile", L"Extensions", L"file", L"Filter", L"Folder", L"ftp", L"htafile", L"htmlfile", L"http", L"https",
    L"inffile", L"Installer", L"Interface", L"InternetShortcut", L"JSEFile", L"JSFile", L"Licenses", L"lnkfile",
    L"Local Settings", L"mailto", L"Media Type", L"MediaFoundation", L"mhtmlfile", L"Microsoft.PowerShellScript.1",
    L"MIME", L"ms-appinstaller", L"ms-msdt", L"ms-settings", L"mscfile", L"Msi.Package", L"Msi.Patch", L"Network",
    L"ocxfile", L"PackagedCom", L"piffile", L"Printers", L"PROTOCOLS", L"Record", L"regfile", L"scrfile",
    L"search-ms", L"shtmlfile", L"sysfile", L"SystemFileAssociations", L"TypeLib", L"Unknown", L"VBEFile",
    L"VBSFile", L"Wow6432Node", L"WSFFile", L"WSHFile", L"txtfile", L"xmlfile",
};
// The classes of packaged (Store) applications, all named with this prefix.
constexpr std::wstring_view kPackagedClassPrefix = L"AppX";
// clang-format on

// The registry compares names without regard to case, with Unicode's upper case: besides a-z,
// a dotless i, a long s and the Kelvin sign meet an ASCII letter there.
wchar_t FoldedUpper(wchar_t c) {
  switch (c) {
    case L'\u0131':
      return L'I';
    case L'\u017F':
      return L'S';
    case L'\u212A':
      return L'K';
    default:
      return AsciiUpper(c);
  }
}

bool SameName(std::wstring_view a, std::wstring_view b) {
  return std::ranges::equal(a, b, [](wchar_t x, wchar_t y) { return FoldedUpper(x) == FoldedUpper(y); });
}

// True for a ProgID whose key tree an association may remove: a class name of its own, not a
// path, an extension or one of the system's classes. The name is read from the merged class view,
// which any user can write, so it must not steer an elevated caller into deleting Windows' keys
// (a NUL would also cut the name short on its way to the system).
bool IsPlainClassName(std::wstring_view progId) {
  if (progId.empty() || progId.front() == L'.') return false;
  if (progId.find_first_of(std::wstring_view(L"\\\0", 2)) != std::wstring_view::npos) return false;
  if (progId.size() >= kPackagedClassPrefix.size() &&
      SameName(progId.substr(0, kPackagedClassPrefix.size()), kPackagedClassPrefix)) {
    return false;
  }
  return std::ranges::none_of(kSystemClasses, [&](std::wstring_view owned) { return SameName(progId, owned); });
}

// A file extension as the class registry keys it: one leading dot, a name after it, no separator
// (which would reach another key) and no NUL (which would cut the name on its way to the system).
bool IsExtension(std::wstring_view ext) {
  return ext.size() >= 2 && ext[0] == L'.' && ext[1] != L'.' &&
         ext.find_first_of(std::wstring_view(L"\\\0", 2)) == std::wstring_view::npos;
}

// The ProgID an extension has in the machine's classes; the user's own classes, which the merged
// view would put first and any program of the user can write, never steer a write to the machine's.
std::wstring MachineProgId(cQueryReg& reg, const std::wstring& ext) {
  return reg.QueryRegBase(kClassesBelowRoot + ext, kHkeyLocalMachine);
}

}  // namespace

void cQueryReg::SetDefaultText(RegKey hKey, const std::wstring& subkey, const std::wstring& text) {
  const std::string data = Ansi(text);
  api_.RegSetValueA(hKey, Ansi(subkey).c_str(), kRegSz, data.c_str(), static_cast<std::uint32_t>(data.size()));
}

void cQueryReg::AsociarExt(const std::wstring& sExt, const std::wstring& sExe, std::wstring sCommand, bool bDefault,
                           std::wstring sProgId, std::wstring sDescription) {
  const std::wstring extension = NormaliseExtension(Trim(sExt));
  // Quoted when it holds a space, so the shell cannot run a prefix of it.
  std::wstring program = QuotedIfSpaced(ProgramFile(Trim(sExe)));
  if (!program.empty()) program += L' ';
  sCommand = Trim(sCommand);
  sProgId = Trim(sProgId);
  sDescription = Trim(sDescription);
  if (sProgId.empty()) sProgId = L"progID" + extension;
  if (sDescription.empty()) sDescription = L"Descripción de " + sProgId;
  const std::wstring& label = sCommand;
  std::wstring verb = sCommand;
  if (const std::size_t amp = verb.find(L'&'); amp != std::wstring::npos) verb.erase(amp, 1);

  if (!IsExtension(extension)) return;
  // An extension that has a ProgID keeps it, with its description. Both are the machine's, where
  // the verbs below are written; a system class is never rewritten.
  if (MachineProgId(*this, extension).empty()) {
    if (!IsPlainClassName(sProgId)) return;
    SetDefaultText(kHkeyLocalMachine, kClassesBelowRoot + extension, sProgId);
    SetDefaultText(kHkeyLocalMachine, kClassesBelowRoot + sProgId, sDescription);
  }
  const std::wstring progId = MachineProgId(*this, extension);
  if (!IsPlainClassName(progId)) return;
  RegKey opened = 0;
  if (api_.RegCreateKeyA(kHkeyLocalMachine, Ansi(kClassesBelowRoot + progId + L"\\shell").c_str(), &opened) !=
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
  if (!IsExtension(ext)) return;
  const std::wstring progId = MachineProgId(*this, ext);
  if (!IsPlainClassName(progId)) return;
  const std::wstring icon = kClassesBelowRoot + progId + L"\\DefaultIcon";
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
  // Only an extension's key: "Msi.Package" names a class, not an extension.
  if (!IsExtension(ext)) return;
  // The user's classes and the machine's, each on its own: a ProgID the user's classes name
  // removes only the user's class of that name, never another program's class of the machine.
  for (const RegKey root : {kHkeyCurrentUser, kHkeyLocalMachine}) {
    const std::wstring progId = QueryRegBase(kClassesBelowRoot + ext, root);
    if (progId.empty()) continue;
    DeleteKeyTree(root, kClassesBelowRoot + ext);
    if (IsPlainClassName(progId)) DeleteKeyTree(root, kClassesBelowRoot + progId);
  }
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
