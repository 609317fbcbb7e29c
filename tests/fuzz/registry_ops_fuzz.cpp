// Runs random sequences of cQueryReg's operations against the in-memory registry, with random
// failures of single calls and faulty sizes, and checks that no key handle stays open beyond
// those the caller holds from OpenKeyEx and OpenKeyQuery. Sanitizers catch the rest.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "fakes/fake_file_system.h"
#include "fakes/fake_registry.h"
#include "registry/cQueryReg.h"

namespace {

using namespace varnlet;
using registry::RegKey;

void Require(bool condition) {
  if (!condition) std::abort();
}

// Paths built from pieces that hit roots, abbreviations, separators and the keys set up below.
std::wstring MakePath(FuzzedDataProvider& in) {
  static const wchar_t* const kPieces[] = {L"HKEY_CURRENT_USER",
                                           L"HKEY_LOCAL_MACHINE",
                                           L"HKEY_CLASSES_ROOT",
                                           L"HKEY_USERS",
                                           L"HKEY_FOO",
                                           L"HKEY_",
                                           L"HKCU\\",
                                           L"HKLM\\",
                                           L"HKCR\\",
                                           L"HKU\\",
                                           L"HKCC\\",
                                           L"HKPD\\",
                                           L"HKDD\\",
                                           L"hkcu\\",
                                           L"\\",
                                           L"\\\\",
                                           L" ",
                                           L"Software",
                                           L"Classes",
                                           L"a",
                                           L"b",
                                           L"c",
                                           L".txt",
                                           L"progID.txt",
                                           L"shell",
                                           L"open",
                                           L"command",
                                           L"Descripción",
                                           L"DefaultIcon",
                                           L"CLSID",
                                           L"TypeLib"};
  std::wstring path;
  const int pieces = in.ConsumeIntegralInRange(0, 8);
  for (int i = 0; i < pieces; ++i) {
    if (in.ConsumeBool()) {
      path += kPieces[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kPieces) - 1)];
      if (in.ConsumeBool()) path += L'\\';
    } else {
      const std::string raw = in.ConsumeRandomLengthString(12);
      path.append(raw.begin(), raw.end());
    }
  }
  // A key name past its 255 characters, often; a path past its 32767, less often: each costs as
  // much as hundreds of ordinary inputs. Exhausted data reads as 0, which must stay cheap.
  if (in.ConsumeIntegralInRange(0, 40) == 40) {
    const std::size_t length = in.ConsumeIntegralInRange(0, 15) == 15 ? in.ConsumeIntegralInRange(32760, 32800)
                                                                      : in.ConsumeIntegralInRange(250, 300);
    path.append(length, L'k');
  }
  return path;
}

std::wstring MakeName(FuzzedDataProvider& in) {
  static const wchar_t* const kNames[] = {L"",     L"v",          L"V",          L"s",    L"d",      L"b",
                                          L"m",    L"Año",        L"txt",        L".txt", L"editor", L"&Editar",
                                          L"open", L"progID.txt", L"windowsdir", L"\\",   L"\\\\",   L"C:\\x.dat"};
  if (in.ConsumeBool()) return kNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kNames) - 1)];
  const std::string raw = in.ConsumeRandomLengthString(8);
  return std::wstring(raw.begin(), raw.end());
}

RegKey MakeRoot(FuzzedDataProvider& in, const std::vector<RegKey>& held) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return 0x80000000u + in.ConsumeIntegralInRange<RegKey>(0, 7);
    case 1:
      return held.empty() ? 0 : held[in.ConsumeIntegralInRange<std::size_t>(0, held.size() - 1)];
    case 2:
      return in.ConsumeIntegral<RegKey>();
    default:
      return 0x80000001;
  }
}

registry::Variant MakeValue(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return registry::Empty{};
    case 1: {
      const std::string raw = in.ConsumeRandomLengthString(64);
      return std::wstring(raw.begin(), raw.end());
    }
    case 2:
      return in.ConsumeIntegral<std::int32_t>();
    default: {
      // One in sixteen past 64 KiB: such a value costs as much as hundreds of small ones in
      // every later read, enumeration and dump of the sequence.
      const bool large = in.ConsumeIntegralInRange(0, 15) == 15;
      const std::size_t size = in.ConsumeIntegralInRange<std::size_t>(0, large ? 70000 : 16);
      return registry::ByteArray(size, in.ConsumeIntegral<std::uint8_t>());
    }
  }
}

const char* const kCalls[] = {"RegOpenKeyExA",    "RegCreateKeyA", "RegCloseKey",    "RegQueryValueA",
                              "RegQueryValueExA", "RegSetValueA",  "RegSetValueExA", "RegDeleteValueA",
                              "RegDeleteKeyA",    "RegEnumKeyExA", "RegEnumValueA",  "RegQueryInfoKeyA",
                              "RegSaveKeyA",      "GetUserNameA"};

void Disturb(FuzzedDataProvider& in, fakes::FakeRegistry& registry) {
  const char* call = kCalls[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCalls) - 1)];
  if (in.ConsumeBool()) {
    registry.FailWith(call, in.ConsumeIntegralInRange<int>(1, 1500), in.ConsumeIntegralInRange(1, 4));
  } else {
    // Small sizes and sizes near the 32-bit limit; nothing in between that would only exhaust memory.
    static const std::uint32_t kSizes[] = {0, 1, 2, 3, 4, 5, 300, 4096, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF};
    registry.ReportFaultySize(call, kSizes[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kSizes) - 1)]);
  }
}

// The keys every sequence starts from, built once: building them again for each input cost a
// third of the run. Each input works on a copy.
const fakes::FakeRegistry& Seeded() {
  static const fakes::FakeRegistry seeded = [] {
    fakes::FakeRegistry registry;
    registry.SetValue(0x80000001, "a\\b", "v", 1, std::string("text\0", 5));
    registry.SetValue(0x80000001, "a\\b\\c", "d", 4, std::string("\x01\x02\x03\x04", 4));
    registry.SetValue(0x80000001, "a", "m", 7, std::string("one\0two\0\0", 9));
    registry.SetValue(0x80000002, "Software\\Classes\\.txt", "", 1, std::string("progID.txt\0", 11));
    registry.SetValue(0x80000002, "Software\\Classes\\progID.txt\\clsid", "", 1, std::string("{C}\0", 4));
    registry.SetValue(0x80000002, "Software\\Classes\\CLSID\\{C}\\TypeLib", "", 1, std::string("{T}\0", 4));
    registry.CreateKeyPath(0x80000002, "Software\\Classes\\TypeLib\\{T}");
    registry.SetValue(0x80000003, "tester\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                      "Desktop", 1, std::string("C:\\u\\Desktop\0", 13));
    return fakes::FakeRegistry(registry, nullptr);
  }();
  return seeded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  platform::Windows1252 ansi;
  fakes::FakeFileSystem files;
  fakes::FakeRegistry registry(Seeded(), &files);
  registry.SetBackupPrivilege(in.ConsumeBool());

  std::vector<RegKey> held;  // handles the caller holds from OpenKeyEx and OpenKeyQuery
  {
    registry::cQueryReg reg(registry, files, ansi);
    const int steps = in.ConsumeIntegralInRange(1, 24);
    for (int step = 0; step < steps && in.remaining_bytes() > 0; ++step) {
      if (in.ConsumeIntegralInRange(0, 5) == 0) Disturb(in, registry);
      try {
        switch (in.ConsumeIntegralInRange(0, 29)) {
          case 0:
            reg.CreateKey(MakePath(in));
            break;
          case 1:
            reg.ExistKey(MakePath(in));
            break;
          case 2:
            reg.GetRegDWord(MakePath(in), MakeName(in), MakeRoot(in, held), in.ConsumeBool());
            break;
          case 3:
            reg.GetReg(MakePath(in), MakeName(in), MakeRoot(in, held), in.ConsumeBool());
            break;
          case 4:
            reg.GetRegType(MakePath(in), MakeName(in), MakeRoot(in, held));
            break;
          case 5:
            reg.GetRegBinary(MakePath(in), MakeName(in), MakeRoot(in, held), in.ConsumeBool());
            break;
          case 6:
            reg.GetRegString(MakePath(in), MakeName(in), MakeRoot(in, held));
            break;
          case 7:
            reg.QueryRegBase(MakePath(in), MakeRoot(in, held));
            break;
          case 8:
          case 9: {
            RegKey key = 0;
            const RegKey from = MakeRoot(in, held);
            const std::wstring sub = MakePath(in);
            const auto status = in.ConsumeBool() ? reg.OpenKeyEx(from, sub, 0, in.ConsumeIntegral<std::uint32_t>(), key)
                                                 : reg.OpenKeyQuery(from, sub, 0, 0, key);
            if (status == 0 && !registry::IsPredefinedRoot(key)) held.push_back(key);
            break;
          }
          case 10:
            if (!held.empty()) {
              const std::size_t i = in.ConsumeIntegralInRange<std::size_t>(0, held.size() - 1);
              reg.CloseKey(held[i]);
              held.erase(held.begin() + static_cast<std::ptrdiff_t>(i));
            }
            break;
          case 11: {
            std::wstring text = MakeName(in);
            reg.RegSetValue2(MakeRoot(in, held), MakeName(in), in.ConsumeIntegral<std::uint32_t>(), text,
                             in.ConsumeIntegral<std::uint32_t>());
            break;
          }
          case 12:
            reg.DeleteKeyWin95(MakeRoot(in, held), MakePath(in));
            break;
          case 13:
            reg.SetReg(MakePath(in), MakeName(in), MakeValue(in), MakeRoot(in, held),
                       in.ConsumeIntegralInRange<std::uint32_t>(0, 8), in.ConsumeBool());
            break;
          case 14:
            reg.DeleteKey(MakePath(in), MakeName(in), MakeRoot(in, held));
            break;
          case 15:
            reg.DeleteValue(MakePath(in), MakeName(in), MakeRoot(in, held));
            break;
          case 16:
            reg.UserName();
            break;
          case 17: {
            std::wstring name(in.ConsumeIntegralInRange<std::size_t>(0, 40), L'\0');
            std::wstring text(in.ConsumeIntegralInRange<std::size_t>(0, 40), L'\0');
            std::uint32_t nameSize = in.ConsumeIntegral<std::uint32_t>();
            std::uint32_t dataSize = in.ConsumeIntegral<std::uint32_t>();
            std::uint32_t type = 0;
            std::vector<std::uint8_t> area(in.ConsumeIntegralInRange<std::size_t>(0, 40));
            const RegKey key = MakeRoot(in, held);
            const auto index = in.ConsumeIntegralInRange<std::uint32_t>(0, 4);
            const std::uint32_t reserved = in.ConsumeBool() ? 0 : in.ConsumeIntegral<std::uint32_t>();
            if (in.ConsumeBool()) {
              reg.EnumValueString(key, index, name, nameSize, reserved, type, text, dataSize);
            } else {
              reg.EnumValue(key, index, name, nameSize, reserved, type, area, dataSize);
            }
            break;
          }
          case 18: {
            std::uint32_t longest = 0;
            reg.QueryInfoKey(MakeRoot(in, held), longest);
            std::wstring name(in.ConsumeIntegralInRange<std::size_t>(0, 20), L'*');
            std::uint32_t nameSize = in.ConsumeIntegral<std::uint32_t>();
            reg.EnumKeyEx(MakeRoot(in, held), in.ConsumeIntegralInRange<std::uint32_t>(0, 4), name, nameSize);
            break;
          }
          case 19: {
            std::vector<std::wstring> list(in.ConsumeIntegralInRange<std::size_t>(0, 3), L"stale");
            const std::wstring path = MakePath(in);
            bool ok = false;
            switch (in.ConsumeIntegralInRange(0, 2)) {
              case 0:
                ok = reg.EnumKeys(list, path);
                break;
              case 1:
                ok = reg.EnumValues(list, path);
                break;
              default:
                ok = reg.EnumValuesByType(list, path, in.ConsumeIntegralInRange<std::uint32_t>(0, 8));
                break;
            }
            // Element 0 is always there and empty; values come in pairs after the default one.
            Require(!list.empty() && list[0].empty());
            (void)ok;
            break;
          }
          case 20:
            reg.RegSaveKey(MakePath(in), MakeName(in));
            break;
          case 21: {
            const auto folders = reg.ShellFolders(in.ConsumeBool(), in.ConsumeBool());
            Require(folders->Count() >= 2);
            break;
          }
          case 22:
            if (in.ConsumeBool()) {
              reg.GetFolder(MakeName(in));
            } else {
              reg.GetFolder(in.ConsumeIntegral<std::int32_t>());
            }
            break;
          case 23:
            reg.AsociarExt(MakeName(in), MakeName(in), MakeName(in), in.ConsumeBool(), MakeName(in), MakeName(in));
            break;
          case 24:
            reg.AsociarIcono(MakeName(in), MakeName(in), in.ConsumeIntegral<std::int32_t>());
            break;
          case 25:
            reg.DesasociarExt(MakeName(in));
            break;
          case 26:
            reg.ClassCLSID(MakeName(in));
            break;
          case 27:
            reg.ClassTypeLib(MakeName(in));
            break;
          case 28:
            reg.UnRegister(MakeName(in));
            break;
          default:
            registry.AfterCall(nullptr);
            break;
        }
      } catch (const std::exception&) {
        // Conversion and overflow errors are the class's to raise; anything else is not caught.
      }
    }
    for (const RegKey key : held) reg.CloseKey(key);
  }
  Require(registry.openHandles() == 0);
  return 0;
}
