// The position editor's saved desktop in "PVR3J.ini" and the pattern file "PATTERN.ini".
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/FileIo.h"
#include "editors/core/Desktop.h"
#include "editors/core/PatternFile.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

using DesktopFile = test::TempFolderTest;
using PatternFileTest = test::TempFolderTest;

TEST(Desktop, DefaultsWithoutASettingsFile) {
  const DesktopSettings d = DesktopSettings::defaults();
  EXPECT_EQ(d.clientWidth, 508);
  EXPECT_EQ(d.clientHeight, 336);
  EXPECT_EQ(d.windowColor, -2147483633);
  EXPECT_FALSE(d.showBackground);
  for (int n = 1; n <= 12; ++n) {
    EXPECT_EQ(d.channels[n - 1].place.left, 0);
    EXPECT_EQ(d.channels[n - 1].place.top, (n - 1) * 24);
  }
  for (int n = 13; n <= 24; ++n) {
    EXPECT_EQ(d.channels[n - 1].place.left, 254);
    EXPECT_EQ(d.channels[n - 1].place.top, (n - 13) * 24);
  }
  EXPECT_EQ(d.channels[0].name, "CH1");
  EXPECT_EQ(d.channels[0].rate, 1.0f);
  EXPECT_EQ(formatChannelPanel(d.channels[13]), "1,254,24,-2147483633,0,1,CH14");
  EXPECT_EQ(formatPanelPlace(d.lower[kSpeedPanel]), "1,0,288,-2147483633");
  EXPECT_EQ(formatPanelPlace(d.lower[kCommandPanel]), "1,0,312,-2147483633");
  EXPECT_EQ(formatPanelPlace(d.lower[kLinkPanel]), "1,254,288,-2147483633");
}

TEST(Desktop, ChannelValues) {
  const ChannelPanelSettings elbow = parseChannelPanel("0,10,20,255,1,2.5,Elbow", 5);
  EXPECT_FALSE(elbow.place.visible);
  EXPECT_EQ(elbow.place.left, 10);
  EXPECT_EQ(elbow.place.top, 20);
  EXPECT_EQ(elbow.place.color, 255);
  EXPECT_EQ(elbow.mode, 1);
  EXPECT_EQ(elbow.rate, 2.5f);
  EXPECT_EQ(elbow.name, "Elbow");
  EXPECT_EQ(formatChannelPanel(elbow), "0,10,20,255,1,2.5,Elbow");

  EXPECT_EQ(parseChannelPanel("1,0,0,0,0,abc,X", 1).rate, 1.0f);
  EXPECT_EQ(parseChannelPanel("1,0,0,0,0,0,X", 1).rate, 1.0f);  // a rate of 0 is refused
  EXPECT_EQ(parseChannelPanel("1,0,0,0,9,1,X", 1).mode, 0);
  EXPECT_EQ(parseChannelPanel("1,0,0,0,1,1,Left, upper", 1).name, "Left, upper");
  EXPECT_EQ(parseChannelPanel("yes,0,0,0,1,1,X", 1).place.visible, false);
}

TEST(Desktop, FewerFieldsTakeTheirDefaults) {
  const ChannelPanelSettings c = parseChannelPanel("0,10", 14);
  EXPECT_FALSE(c.place.visible);
  EXPECT_EQ(c.place.left, 10);
  EXPECT_EQ(c.place.top, 24);
  EXPECT_EQ(c.place.color, -2147483633);
  EXPECT_EQ(c.mode, 0);
  EXPECT_EQ(c.rate, 1.0f);
  EXPECT_EQ(c.name, "CH14");
  const ChannelPanelSettings empty = parseChannelPanel("", 3);
  EXPECT_EQ(empty, defaultChannelPanel(3));
  const PanelPlace link = parsePanelPlace("1,x", defaultLowerPanel(kLinkPanel));
  EXPECT_EQ(link.left, 254);
  EXPECT_EQ(link.top, 288);
}

TEST_F(DesktopFile, ReadFromTheSettingsFileBesideOtherKeys) {
  const std::string file = path("PVR3J.ini");
  ASSERT_TRUE(writeTextFile(file,
                            "[PVR3]\r\nGrid=1\r\nCommPort=3\r\nForm=600,400\r\nBmp=/tmp/b.jpg\r\n"
                            "Background=1\r\nCH5=0,10,20,255,1,2.5,Elbow\r\nLINK=0,5,6,7\r\n"
                            "[Other]\r\nKey=Value\r\n"));
  const DesktopSettings d = loadDesktop(file);
  EXPECT_EQ(d.clientWidth, 600);
  EXPECT_EQ(d.clientHeight, 400);
  EXPECT_EQ(d.windowColor, -2147483633);
  EXPECT_EQ(d.backgroundPath, "/tmp/b.jpg");
  EXPECT_TRUE(d.showBackground);
  EXPECT_EQ(d.channels[4].name, "Elbow");
  EXPECT_EQ(d.channels[5], defaultChannelPanel(6));
  EXPECT_FALSE(d.lower[kLinkPanel].visible);
  EXPECT_EQ(d.lower[kLinkPanel].color, 7);

  DesktopSettings changed = d;
  changed.channels[0].name = "肩";
  changed.channels[0].rate = 0.5f;
  changed.lower[kSpeedPanel].left = 40;
  ASSERT_TRUE(saveDesktop(file, changed));
  EXPECT_EQ(loadDesktop(file), changed);
  const Result<IniFile> ini = IniFile::load(file);
  ASSERT_TRUE(ini);
  EXPECT_EQ(ini->readString("PVR3", "Grid", ""), "1");
  EXPECT_EQ(ini->readString("PVR3", "CommPort", ""), "3");
  EXPECT_EQ(ini->readString("Other", "Key", ""), "Value");
  EXPECT_EQ(ini->readString("PVR3", "CH1", ""), "1,0,0,-2147483633,0,0.5,肩");
  EXPECT_EQ(ini->readString("PVR3", "Form", ""), "600,400,-2147483633");
}

TEST_F(DesktopFile, AFileThatCannotBeWrittenIsNeitherReadNorWritten) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  const std::string file = path("PVR3J.ini");
  const std::string text = "[PVR3]\r\nCH1=0,10,20,255,1,2.5,Elbow\r\n\r\n";
  ASSERT_TRUE(writeTextFile(file, text));
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  EXPECT_EQ(loadDesktop(file), DesktopSettings::defaults());
  EXPECT_FALSE(saveDesktop(file, DesktopSettings::defaults()));
  EXPECT_EQ(readTextFile(file).value(), text);
}

TEST_F(DesktopFile, NoPlaceToWriteGivesTheDefaultsAndWritesNothing) {
  ASSERT_TRUE(writeTextFile(path("file"), "not a folder"));
  const std::string file = path("file/PVR3J.ini");
  EXPECT_EQ(loadDesktop(file), DesktopSettings::defaults());
  EXPECT_FALSE(saveDesktop(file, DesktopSettings::defaults()));
}

TEST_F(PatternFileTest, MissingFileIsEmptyAndIsCreatedOnSave) {
  const std::string file = path("PATTERN.ini");
  PatternFile patterns = PatternFile::open(file);
  EXPECT_TRUE(patterns.linkSetNames().empty());
  EXPECT_TRUE(patterns.linkSet("walk").empty());
  std::vector<std::string> entries(24);
  entries[0] = "MOV(10)";
  entries[2] = "SET(1)";
  patterns.setLinkSetNames({"walk", "two words"});
  patterns.writeLinkSet("walk", entries);
  patterns.setConversionSetNames({"mirror"});
  patterns.writeConversionSet("mirror", {"CopyTo(3)", "", "Reverse"});
  EXPECT_TRUE(patterns.changed());
  ASSERT_TRUE(patterns.save());

  const Result<IniFile> ini = IniFile::load(file);
  ASSERT_TRUE(ini);
  EXPECT_EQ(ini->readString("NewLink", "NewLinkList", ""), "walk,\"two words\"");
  EXPECT_EQ(ini->readString("CnvList", "mirror", ""), "\"CopyTo(3)\",\"\",\"Reverse\"");
  const std::string walk = ini->readString("NewLinkList", "walk", "");
  EXPECT_EQ(walk.substr(0, 20), "\"MOV(10)\",\"\",\"SET(1)");

  const PatternFile again = PatternFile::open(file);
  EXPECT_EQ(again.linkSetNames(), (std::vector<std::string>{"walk", "two words"}));
  EXPECT_EQ(again.linkSet("walk"), entries);
  EXPECT_EQ(again.conversionSetNames(), (std::vector<std::string>{"mirror"}));
  EXPECT_EQ(again.conversionSet("mirror"), (std::vector<std::string>{"CopyTo(3)", "", "Reverse"}));
  EXPECT_FALSE(again.changed());
}

TEST_F(PatternFileTest, DeletingASetKeepsTheOthers) {
  const std::string file = path("PATTERN.ini");
  PatternFile patterns = PatternFile::open(file);
  patterns.writeLinkSet("a", {"TCH"});
  patterns.writeLinkSet("b", {"FREE"});
  patterns.deleteLinkSet("a");
  EXPECT_FALSE(patterns.hasLinkSet("a"));
  EXPECT_TRUE(patterns.hasLinkSet("b"));
  EXPECT_EQ(PatternFile::formatSetValue({"say \"hi\"", ""}), "\"say \"\"hi\"\"\",\"\"");
  patterns.writeLinkSet("q", {"say \"hi\""});
  EXPECT_EQ(patterns.linkSet("q"), (std::vector<std::string>{"say \"hi\""}));
}

TEST_F(PatternFileTest, AnUnreadableFileIsNotOverwritten) {
  const std::string file = path("PATTERN.ini");
  ASSERT_EQ(::mkdir(file.c_str(), 0700), 0);  // a folder where the file should be
  PatternFile patterns = PatternFile::open(file);
  EXPECT_FALSE(patterns.readError().empty());
  patterns.writeLinkSet("a", {"TCH"});
  EXPECT_FALSE(patterns.save());
}

TEST(PatternFileNames, StorableNames) {
  EXPECT_TRUE(PatternFile::storableSetName("歩く"));
  EXPECT_TRUE(PatternFile::storableSetName("two words"));
  EXPECT_FALSE(PatternFile::storableSetName(""));
  EXPECT_FALSE(PatternFile::storableSetName("a=b"));
  EXPECT_FALSE(PatternFile::storableSetName("[x"));
  EXPECT_FALSE(PatternFile::storableSetName(" x"));
}

}  // namespace
}  // namespace pvrj
