// cQueryReg's file associations and COM class registration, on the registry this build runs
// against. Everything is made under names of the test's own and removed afterwards.
#include <gtest/gtest.h>

#include "contract/registry_fixture.h"

namespace varnlet::contract {
namespace {

class Associations : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    word_ = UniqueWord("vlt");
    ext_ = "." + word_;
    progId_ = "progID" + ext_;
    for (const std::string& key :
         {ext_, progId_, "Mine" + word_, "Other" + word_, ext_ + "x", "AppX" + word_, "Mine" + word_ + ".Doc"}) {
      CleanUpLater(kHkeyClassesRoot, key);
    }
  }
  std::string Default(RegKey root, const std::string& path) {
    const auto value = Stored(root, path, "");
    return value ? value->data : "<none>";
  }
  std::string Shell(const std::string& progId, const std::string& below = "") {
    return "Software\\Classes\\" + progId + "\\shell" + (below.empty() ? "" : "\\" + below);
  }

  std::string word_;  // letters and digits only
  std::string ext_;
  std::string progId_;
};
class ComClasses : public RegistryTest {};

TEST_F(Associations, AsociarExtWritesTheProgIdItsDescriptionAndTheOpenCommand) {
  reg().AsociarExt(Wide(word_), L"  editor  ");
  EXPECT_EQ(Default(kHkeyClassesRoot, ext_), progId_ + '\0');
  EXPECT_EQ(Default(kHkeyClassesRoot, progId_), "Descripci\xF3n de " + progId_ + '\0');
  EXPECT_EQ(Default(kHkeyLocalMachine, Shell(progId_, "open\\command")), "editor.exe \"%1\"\0"s);
  EXPECT_EQ(Default(kHkeyLocalMachine, Shell(progId_)), "open\0"s);
  // The label of "open" is never written.
  EXPECT_EQ(Default(kHkeyLocalMachine, Shell(progId_, "open")), "<none>");
  // The merged class view sees the machine's entries.
  EXPECT_EQ(reg().QueryRegBase(Wide(progId_ + "\\shell\\open\\command")), L"editor.exe \"%1\"");
}

TEST_F(Associations, AnExistingProgIdIsKeptAndOnlyItsShellKeyWritten) {
  Put(kHkeyClassesRoot, ext_, "", 1, "Mine" + word_ + '\0');
  reg().AsociarExt(Wide(ext_), L"C:\\Program Files\\My Editor\\ed.exe", L"&Editar", true, L"Ignored", L"Ignored too");
  EXPECT_EQ(Default(kHkeyClassesRoot, ext_), "Mine" + word_ + '\0');
  EXPECT_FALSE(KeyExists(kHkeyClassesRoot, "Ignored"));
  const std::string mine = "Mine" + word_;
  EXPECT_EQ(Default(kHkeyClassesRoot, mine), "<none>");
  EXPECT_EQ(Default(kHkeyLocalMachine, Shell(mine, "Editar")), "&Editar\0"s);
  // A program path with spaces is quoted, so the shell cannot run "C:\Program.exe" instead.
  EXPECT_EQ(Default(kHkeyLocalMachine, Shell(mine, "Editar\\command")),
            "\"C:\\Program Files\\My Editor\\ed.exe\" \"%1\"\0"s);
  EXPECT_EQ(Default(kHkeyLocalMachine, Shell(mine)), "Editar\0"s);
}

TEST_F(Associations, VerbsOtherThanOpenGetTheirLabelEvenWithoutAProgram) {
  reg().AsociarExt(Wide(ext_), L"", L"Open", true, L"Other" + Wide(word_), L"Mine");
  const std::string other = "Other" + word_;
  EXPECT_EQ(Default(kHkeyClassesRoot, other), "Mine\0"s);
  EXPECT_EQ(Default(kHkeyLocalMachine, Shell(other, "Open")), "Open\0"s);
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, Shell(other, "Open\\command")));
  EXPECT_EQ(Default(kHkeyLocalMachine, Shell(other)), "Open\0"s);
  // Without bDefault the default verb stays as it was.
  reg().AsociarExt(Wide(ext_), L"tool.com", L"print", false);
  EXPECT_EQ(Default(kHkeyLocalMachine, Shell(other, "print\\command")), "tool.com \"%1\"\0"s);
  EXPECT_EQ(Default(kHkeyLocalMachine, Shell(other)), "Open\0"s);
}

TEST_F(Associations, AsociarIconoSetsAndRemovesTheIcon) {
  reg().AsociarIcono(Wide(ext_), L"shell32.dll", -4);  // no ProgID yet: nothing happens
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\" + progId_));
  reg().AsociarExt(Wide(ext_), L"editor");
  reg().AsociarIcono(L" " + Wide(word_) + L" ", L" shell32.dll ", -4);
  EXPECT_EQ(Default(kHkeyLocalMachine, "Software\\Classes\\" + progId_ + "\\DefaultIcon"), "shell32.dll,-4\0"s);
  reg().AsociarIcono(Wide(ext_), L"editor");
  EXPECT_EQ(Default(kHkeyLocalMachine, "Software\\Classes\\" + progId_ + "\\DefaultIcon"), "editor.exe,0\0"s);
  reg().AsociarIcono(Wide(ext_));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Classes\\" + progId_ + "\\DefaultIcon"));
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, Shell(progId_, "open\\command")));
}

TEST_F(Associations, DesasociarExtRemovesTheExtensionAndItsProgIdOnlyWhenTheyAreTied) {
  // An extension key without a ProgID is left alone.
  MakeKey(kHkeyClassesRoot, ext_ + "\\ShellNew");
  reg().DesasociarExt(Wide(ext_));
  EXPECT_TRUE(KeyExists(kHkeyClassesRoot, ext_ + "\\ShellNew"));
  reg().AsociarExt(Wide(word_), L"editor");
  reg().AsociarIcono(Wide(word_), L"editor", 1);
  // No trimming here: " word" becomes ". word", which has no ProgID.
  reg().DesasociarExt(L" " + Wide(word_));
  EXPECT_TRUE(KeyExists(kHkeyClassesRoot, ext_));
  reg().DesasociarExt(Wide(word_));
  EXPECT_FALSE(KeyExists(kHkeyClassesRoot, ext_));
  EXPECT_FALSE(KeyExists(kHkeyClassesRoot, progId_));
}

// The ProgID comes from the merged class view, which any user can write: one that names a class
// of the system's, or a path into one, costs the extension its key and nothing else.
TEST_F(Associations, DesasociarExtLeavesTheSystemsClassesWhole) {
  const std::string owned = "SystemFileAssociations\\" + word_;
  CleanUpLater(kHkeyClassesRoot, owned);
  MakeKey(kHkeyClassesRoot, owned + "\\shell");
  for (const std::string& planted : {"systemFileAssociations"s, owned, "SystemFileAssociations\0"s + word_}) {
    Put(kHkeyClassesRoot, ext_, "", 1, planted + '\0');
    reg().DesasociarExt(Wide(ext_));
    EXPECT_FALSE(KeyExists(kHkeyClassesRoot, ext_));
    EXPECT_TRUE(KeyExists(kHkeyClassesRoot, owned + "\\shell")) << planted;
  }
}

// An elevated caller writes the machine's classes, so what it reads there decides: never the
// user's own classes, which Windows' merged view puts first and any program of the user can write.
// A system class, given or found, and a name that is no extension get nothing written or removed;
// removing reads each side's ProgID from that side.
TEST_F(Associations, TheUsersClassesNeverSteerTheMachinesAndSystemClassesAreRefused) {
  const std::string machine = "Software\\Classes\\";
  const std::string other = "Other" + word_;
  CleanUpLater(kHkeyCurrentUser, machine + ext_);
  Put(kHkeyCurrentUser, machine + ext_, "", 1, other + '\0');
  reg().AsociarExt(Wide(word_), L"editor");
  reg().AsociarIcono(Wide(word_), L"editor");
  EXPECT_EQ(Default(kHkeyLocalMachine, machine + ext_), progId_ + '\0');
  EXPECT_EQ(Default(kHkeyLocalMachine, Shell(progId_, "open\\command")), "editor.exe \"%1\"\0"s);
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, machine + progId_ + "\\DefaultIcon"));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, machine + other));
  // Removing takes each side's ProgID from that side: the user's names no class of the machine's.
  MakeKey(kHkeyLocalMachine, machine + other + "\\shell");
  reg().DesasociarExt(Wide(ext_));
  EXPECT_FALSE(KeyExists(kHkeyCurrentUser, machine + ext_));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, machine + ext_));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, machine + progId_));
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, machine + other + "\\shell"));

  const std::string packaged = "AppX" + word_;
  reg().AsociarExt(Wide(ext_ + "x"), L"editor", L"open", true, Wide(packaged));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, machine + ext_ + "x"));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, machine + packaged));
  Put(kHkeyLocalMachine, machine + ext_ + "x", "", 1, packaged + '\0');
  reg().AsociarExt(Wide(ext_ + "x"), L"editor");
  reg().AsociarIcono(Wide(ext_ + "x"), L"editor");
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, machine + packaged));

  const std::string notAnExtension = "Mine" + word_ + ".Doc";
  Put(kHkeyClassesRoot, notAnExtension, "", 1, "Mine" + word_ + '\0');
  MakeKey(kHkeyClassesRoot, "Mine" + word_);
  reg().DesasociarExt(Wide(notAnExtension));
  reg().AsociarExt(Wide(notAnExtension), L"editor");
  EXPECT_TRUE(KeyExists(kHkeyClassesRoot, notAnExtension));
  EXPECT_TRUE(KeyExists(kHkeyClassesRoot, "Mine" + word_));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, Shell("Mine" + word_)));
}

TEST_F(ComClasses, LookUpAndUnregisterAClassWithItsClassIdAndTypeLibrary) {
  const std::string word = UniqueWord("");
  const std::string progId = "Varnlet.Contract" + word;
  const std::string clsid = "{00000000-0000-0000-0000-" +
                            std::string(12 - std::min<std::size_t>(12, word.size()), '0') + word.substr(0, 12) + "}";
  const std::string typeLib = "{11111111-0000-0000-0000-" +
                              std::string(12 - std::min<std::size_t>(12, word.size()), '0') + word.substr(0, 12) + "}";
  const std::string classes = "Software\\Classes\\";
  for (const std::string& key : {progId, "CLSID\\" + clsid, "TypeLib\\" + typeLib}) {
    CleanUpLater(kHkeyLocalMachine, classes + key);
  }
  auto make = [&](bool withTypeLib) {
    Put(kHkeyLocalMachine, classes + progId + "\\clsid", "", 1, clsid + '\0');
    if (withTypeLib) Put(kHkeyLocalMachine, classes + "CLSID\\" + clsid + "\\TypeLib", "", 1, typeLib + '\0');
    MakeKey(kHkeyLocalMachine, classes + "CLSID\\" + clsid + "\\InprocServer32");
    MakeKey(kHkeyLocalMachine, classes + "TypeLib\\" + typeLib + "\\1.0");
  };
  make(true);
  EXPECT_EQ(reg().ClassCLSID(Wide(progId)), Wide(clsid));
  EXPECT_EQ(reg().ClassTypeLib(Wide(progId)), Wide(typeLib));
  EXPECT_EQ(reg().ClassCLSID(L"Varnlet.NoSuchClass"), L"");
  EXPECT_EQ(reg().ClassTypeLib(L"Varnlet.NoSuchClass"), L"");
  EXPECT_EQ(reg().UnRegister(Wide(progId)), 0);
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, classes + progId));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, classes + "CLSID\\" + clsid));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, classes + "TypeLib\\" + typeLib));

  // Without a class id nothing is deleted.
  MakeKey(kHkeyLocalMachine, classes + progId);
  EXPECT_EQ(reg().UnRegister(Wide(progId)), kErrorFileNotFound);
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, classes + progId));
  // Without a type library only the ProgID key goes.
  make(false);
  EXPECT_EQ(reg().ClassTypeLib(Wide(progId)), L"");
  EXPECT_EQ(reg().UnRegister(Wide(progId)), kErrorFileNotFound);
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, classes + progId));
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, classes + "CLSID\\" + clsid));
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, classes + "TypeLib\\" + typeLib));
}

// A class name that names no key must not make Software\Classes itself the ProgID key.
TEST_F(ComClasses, UnRegisterOfAnEmptyClassNameDeletesNothing) {
  for (const std::wstring& name : {L""s, L" "s, L"\\"s, L"\\\\"s, L"  \\ "s}) {
    EXPECT_EQ(reg().UnRegister(name), kErrorFileNotFound);
  }
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software\\Classes"));
}

}  // namespace
}  // namespace varnlet::contract
