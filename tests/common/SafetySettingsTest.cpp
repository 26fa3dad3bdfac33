// The safety keys of "PVR3J.ini": on unless the file turns them off, written beside the others.
#include <gtest/gtest.h>

#include "common/FileIo.h"
#include "common/IniFile.h"
#include "common/Settings.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

class SafetySettingsTest : public test::TempFolderTest {};

TEST_F(SafetySettingsTest, OnWithoutAFileOrAKey) {
  EXPECT_EQ(readSafetySettings(path("none.ini")), SafetySettings{});
  ASSERT_TRUE(writeTextFile(path("PVR3J.ini"), "[PVR3]\r\nGrid=1\r\nVerifyWrites=0\r\n"));
  const SafetySettings s = readSafetySettings(path("PVR3J.ini"));
  EXPECT_FALSE(s.verifyWrites);
  EXPECT_TRUE(s.keepOverwritten);
}

TEST_F(SafetySettingsTest, WrittenBesideTheMainWindowsKeys) {
  ASSERT_TRUE(writeTextFile(path("PVR3J.ini"), "[PVR3]\r\nGrid=1\r\nCommPort=3\r\n"));
  ASSERT_TRUE(writeSafetySettings(path("PVR3J.ini"), {false, false}));
  EXPECT_EQ(readSafetySettings(path("PVR3J.ini")), (SafetySettings{false, false}));
  EXPECT_EQ(readMainSettings(path("PVR3J.ini")).commPort, 3);
  Result<IniFile> ini = IniFile::load(path("PVR3J.ini"));
  ASSERT_TRUE(ini);
  EXPECT_EQ(ini->value("PVR3", "KeepOverwritten"), "0");
  EXPECT_EQ(ini->value("PVR3", "VerifyWrites"), "0");
}

}  // namespace
}  // namespace pvrj
