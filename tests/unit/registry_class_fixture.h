#pragma once
// cQueryReg over the in-memory registry and file system, with a journal of the calls; every test
// ends with no key handle open and no bad close.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_file_system.h"
#include "fakes/fake_registry.h"
#include "fakes/journal.h"
#include "registry/cQueryReg.h"

namespace varnlet::registry {

class RegistryClassTest : public ::testing::Test {
 protected:
  RegistryClassTest() : registry_(&files_, &journal_), reg_(registry_, files_, ansi_) {}
  void TearDown() override {
    EXPECT_EQ(registry_.openHandles(), 0u);
    EXPECT_EQ(registry_.badCloses(), 0u);
  }
  // The journal's entries that start with `prefix`.
  std::vector<std::string> Entries(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& entry : journal_.entries()) {
      if (entry.rfind(prefix, 0) == 0) found.push_back(entry);
    }
    return found;
  }

  platform::Windows1252 ansi_;
  fakes::Journal journal_;
  fakes::FakeFileSystem files_;
  fakes::FakeRegistry registry_;
  cQueryReg reg_;
};

}  // namespace varnlet::registry
