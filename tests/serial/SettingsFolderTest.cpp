// Settings folder choice and COMn resolution through ports/ links.
#include "common/SettingsFolder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace pvrj {
namespace {

namespace fs = std::filesystem;

// A private temporary folder used as the settings folder; the variables are restored afterwards.
class SettingsFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pvrj-settings-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    saveVariable(kSettingsDirVariable, savedDir_, hadDir_);
    saveVariable("XDG_CONFIG_HOME", savedXdg_, hadXdg_);
    saveVariable("HOME", savedHome_, hadHome_);
    setenv(kSettingsDirVariable, folder_.c_str(), 1);
  }
  void TearDown() override {
    restoreVariable(kSettingsDirVariable, savedDir_, hadDir_);
    restoreVariable("XDG_CONFIG_HOME", savedXdg_, hadXdg_);
    restoreVariable("HOME", savedHome_, hadHome_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  static void saveVariable(const char* name, std::string& value, bool& had) {
    const char* v = getenv(name);
    had = v != nullptr;
    value = had ? v : "";
  }
  static void restoreVariable(const char* name, const std::string& value, bool had) {
    if (had) {
      setenv(name, value.c_str(), 1);
    } else {
      unsetenv(name);
    }
  }

  std::string folder_;
  std::string savedDir_, savedXdg_, savedHome_;
  bool hadDir_ = false, hadXdg_ = false, hadHome_ = false;
};

TEST_F(SettingsFolderTest, OverrideVariableChoosesTheFolder) {
  EXPECT_EQ(settingsFolder(), folder_);
  EXPECT_EQ(settingsFilePath("PVR3J.ini"), folder_ + "/PVR3J.ini");
  ASSERT_EQ(portLinkFolders().size(), 1u);
  EXPECT_EQ(portLinkFolders().front(), folder_ + "/ports");
}

TEST_F(SettingsFolderTest, WithoutOverrideTheExecutableFolderOrUserFolderIsUsed) {
  unsetenv(kSettingsDirVariable);
  setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
  EXPECT_EQ(userConfigFolder(), folder_ + "/pivora");
  std::string exe = executableFolder();
  ASSERT_FALSE(exe.empty());
  EXPECT_TRUE(fs::exists(fs::path(exe) / "test_serial"));
  std::string chosen = settingsFolder();
  if (access(exe.c_str(), W_OK) == 0) {
    EXPECT_EQ(chosen, exe);
    // The per-user folder is searched for links as well.
    ASSERT_EQ(portLinkFolders().size(), 2u);
    EXPECT_EQ(portLinkFolders()[1], folder_ + "/pivora/ports");
  } else {
    EXPECT_EQ(chosen, folder_ + "/pivora");
    EXPECT_TRUE(fs::is_directory(chosen));
  }
}

TEST_F(SettingsFolderTest, AnInstalledEditorKeepsItsSettingsInTheUserFolder) {
  setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
  const std::string user = folder_ + "/config/pivora";
  // A prefix the user can write to, laid out as cmake --install lays it out.
  const std::string installed = folder_ + "/prefix/bin";
  fs::create_directories(installed);
  fs::create_directories(folder_ + "/prefix/share/pivora-j");
  EXPECT_TRUE(isInstalledProgramFolder(installed));
  EXPECT_TRUE(isInstalledProgramFolder(installed + "/"));
  EXPECT_EQ(settingsFolderFor(installed), user);
  EXPECT_TRUE(fs::is_directory(user));
  // Without the program's data folder beside it, bin/ is a portable editor's own folder.
  const std::string portable = folder_ + "/portable/bin";
  fs::create_directories(portable);
  EXPECT_FALSE(isInstalledProgramFolder(portable));
  EXPECT_EQ(settingsFolderFor(portable), portable);
  fs::create_directories(folder_ + "/other/share/pivora-j");
  fs::create_directories(folder_ + "/other/libexec");
  EXPECT_FALSE(isInstalledProgramFolder(folder_ + "/other/libexec"));
  EXPECT_TRUE(isInstalledProgramFolder("/usr/bin"));
  EXPECT_TRUE(isInstalledProgramFolder("/usr/local/bin"));
  EXPECT_EQ(settingsFolderFor("/usr/bin"), user);
  EXPECT_EQ(settingsFolderFor(""), user);
}

TEST_F(SettingsFolderTest, RelativeXdgFolderIsIgnored) {
  setenv("XDG_CONFIG_HOME", "relative/dir", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(userConfigFolder(), "/home/someone/.config/pivora");
}

// Table: variable value -> state and data folders (HOME is /home/someone).
TEST_F(SettingsFolderTest, StateAndDataFoldersFollowTheXdgVariables) {
  setenv("HOME", "/home/someone", 1);
  struct Row {
    const char* value;  // nullptr: unset
    const char* state;
    const char* data;
  } const rows[] = {
      {nullptr, "/home/someone/.local/state/pivora", "/home/someone/.local/share"},
      {"/var/x", "/var/x/pivora", "/var/x"},
      {"relative", "/home/someone/.local/state/pivora", "/home/someone/.local/share"},
  };
  std::string savedState, savedData;
  bool hadState = false, hadData = false;
  saveVariable("XDG_STATE_HOME", savedState, hadState);
  saveVariable("XDG_DATA_HOME", savedData, hadData);
  for (const Row& row : rows) {
    if (row.value) {
      setenv("XDG_STATE_HOME", row.value, 1);
      setenv("XDG_DATA_HOME", row.value, 1);
    } else {
      unsetenv("XDG_STATE_HOME");
      unsetenv("XDG_DATA_HOME");
    }
    EXPECT_EQ(userStateFolder(), row.state) << (row.value ? row.value : "unset");
    EXPECT_EQ(userDataFolder(), row.data) << (row.value ? row.value : "unset");
  }
  restoreVariable("XDG_STATE_HOME", savedState, hadState);
  restoreVariable("XDG_DATA_HOME", savedData, hadData);
}

TEST_F(SettingsFolderTest, ComPortWithoutLinkIsTheSerialDevice) {
  EXPECT_EQ(comPortDevice(1), "/dev/ttyS0");
  EXPECT_EQ(comPortDevice(12), "/dev/ttyS11");
  EXPECT_EQ(comPortDevice(0), "");
  EXPECT_EQ(comPortDevice(-3), "");
}

TEST_F(SettingsFolderTest, ComPortFollowsLinkEvenWhenDangling) {
  ASSERT_TRUE(makePortLink(3, "/dev/null").ok());
  EXPECT_EQ(portLinkPath(3), folder_ + "/ports/COM3");
  EXPECT_EQ(comPortDevice(3), folder_ + "/ports/COM3");
  EXPECT_EQ(fs::read_symlink(folder_ + "/ports/COM3"), "/dev/null");
  // Relinking replaces the old link.
  ASSERT_TRUE(makePortLink(3, "/nonexistent/device").ok());
  EXPECT_EQ(fs::read_symlink(folder_ + "/ports/COM3"), "/nonexistent/device");
  EXPECT_EQ(comPortDevice(3), folder_ + "/ports/COM3");
  EXPECT_EQ(comPortDevice(4), "/dev/ttyS3");
}

TEST_F(SettingsFolderTest, RemovePortLinkOnlyRemovesItsOwnLink) {
  ASSERT_TRUE(makePortLink(2, "/dev/pts/98").ok());
  removePortLink(2, "/dev/pts/99");
  EXPECT_TRUE(fs::is_symlink(folder_ + "/ports/COM2"));
  removePortLink(2, "/dev/pts/98");
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder_ + "/ports/COM2")));
  EXPECT_FALSE(makePortLink(0, "/dev/null").ok());
}

}  // namespace
}  // namespace pvrj
