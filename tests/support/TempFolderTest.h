// A test fixture with a fresh temporary folder, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace pvrj::test {

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "pvrj-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    // A test may have taken the write permission away to make a save fail.
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(dir, ec);
  }
  std::string path(const std::string& name) const { return (dir / name).string(); }

  std::filesystem::path dir;
};

}  // namespace pvrj::test
