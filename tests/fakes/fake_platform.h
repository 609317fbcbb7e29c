#pragma once
// Every fake behind the program's boundaries in one place, sharing one journal, ready to be
// handed to the main form.
#include "app/Form1.h"
#include "fakes/fake_dialog.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_process_table.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_shell.h"
#include "fakes/fake_toolkit.h"
#include "fakes/fake_user.h"
#include "fakes/fake_version.h"
#include "fakes/journal.h"
#include "platform/ansi_code_page.h"

namespace varnlet::fakes {

struct FakePlatform {
  Journal journal;
  FakeToolkit toolkit{&journal};
  FakeProcessTable processes{&journal};
  FakeShell shell{&journal};
  FakeVersion version;
  FakeUser user{&journal};
  platform::Windows1252 ansi;
  FakeDialogs dialogs{&journal};
  about::Form2 form2{{dialogs, shell, ansi}};
  FakeFileSystem files;
  FakeRegistry registry{&files, &journal};
  FakeFileSecurity fileSecurity;

  app::Form1::Services services() {
    return {toolkit, processes, shell, version, user, ansi, form2, registry, files, fileSecurity};
  }
};

}  // namespace varnlet::fakes
