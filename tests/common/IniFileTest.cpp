// Tests of the INI file class and the file helpers.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "common/Encoding.h"
#include "common/FileIo.h"
#include "common/IniFile.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

namespace fs = std::filesystem;

class TempDir : public test::TempFolderTest {
 protected:
  std::size_t fileCount() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
  }
};

TEST(IniFile, ReadsTolerantly) {
  auto ini = IniFile::fromString(
      "junk before any section\n"
      "[GraphicalEdit]\r\n"
      "  Type = 7  \r\n"
      "; a comment\r\n"
      "\r\n"
      "width=0x280\r"
      "HEIGHT=$1E0\n"
      "Name=  spaced name \n"
      "Bad=12x\n"
      "no equals sign\n"
      "Type=0\n");
  EXPECT_EQ(ini.readInteger("graphicaledit", "TYPE", -1), 7);  // first value of a repeated key
  EXPECT_EQ(ini.readInteger("GraphicalEdit", "Width", 0), 640);
  EXPECT_EQ(ini.readInteger("GraphicalEdit", "Height", 0), 480);
  EXPECT_EQ(ini.readString("GraphicalEdit", "Name", ""), "spaced name");
  EXPECT_EQ(ini.readInteger("GraphicalEdit", "Bad", -5), -5);
  EXPECT_EQ(ini.readInteger("GraphicalEdit", "Missing", 99), 99);
  EXPECT_EQ(ini.readInteger("Nowhere", "Type", 3), 3);
  EXPECT_FALSE(ini.hasKey("GraphicalEdit", "no equals sign"));
  EXPECT_EQ(ini.sectionCount(), 1u);
}

TEST(IniFile, WritesInOrderWithOneEmptyLineAfterEachSection) {
  auto ini = IniFile::fromString("[B]\nx=1\n[a]\nY = two\n[Unknown]\nkeep=me\n");
  ini.writeString("A", "y", "three");  // replaces in place, keeps the stored spelling of the key
  ini.writeInteger("b", "z", -4);
  ini.writeBool("New", "flag", true);
  EXPECT_EQ(ini.toString(),
            "[B]\r\nx=1\r\nz=-4\r\n\r\n[a]\r\nY=three\r\n\r\n[Unknown]\r\nkeep=me\r\n\r\n"
            "[New]\r\nflag=1\r\n\r\n");
}

TEST(IniFile, LineEndsInValuesCannotSplitTheLine) {
  IniFile ini;
  ini.writeString("S", "path", "a\r\n[Evil]\nx=1");
  EXPECT_EQ(ini.toString(), "[S]\r\npath=a  [Evil] x=1\r\n\r\n");
  auto back = IniFile::fromString(ini.toString());
  EXPECT_FALSE(back.hasSection("Evil"));
}

TEST(IniFile, NamesThatWouldBreakTheFileReadBackAsWritten) {
  // Set names typed by a user become section names; nothing in them may end a section early,
  // start a new one, hide a key as a comment or be trimmed away.
  const std::vector<std::string> sections = {"a]b",   "x\r\n[Item0]\r\nName=evil",
                                             "[lead", " blanks ",
                                             "\ttab", "50%",
                                             "%5D",   "%41 stays",
                                             "=eq",   ";semi",
                                             "]",     "",
                                             "歩く]"};
  const std::vector<std::string> keys = {"k=v", ";comment", "[sec]", " pad ", "line\nbreak",
                                         "%3D", "100%",     "a=b=c", "歩=く"};
  IniFile ini;
  for (const auto& section : sections)
    for (const auto& key : keys) ini.writeString(section, key, section + "|" + key);
  const std::string text = ini.toString();
  for (const std::string& file : {text, cp932ToUtf8(utf8ToCp932(text))}) {
    IniFile back = IniFile::fromString(file);
    EXPECT_EQ(back.sectionNames(), sections);
    for (const auto& section : sections) {
      EXPECT_EQ(back.keyNames(section), keys) << section;
      for (const auto& key : keys) {
        std::string expected = section + "|" + key;
        // Values are cleaned rather than kept: a line end becomes a blank, end blanks are trimmed.
        for (char& c : expected)
          if (c == '\r' || c == '\n') c = ' ';
        EXPECT_EQ(back.readString(section, key, "?"), std::string(trimBlanks(expected)))
            << section << " / " << key;
      }
    }
  }
  // Names holding none of these are written as they are.
  IniFile plain;
  plain.writeString("Link Set 1", "CH1", "x");
  plain.writeString("100%", "a%b", "y");
  EXPECT_EQ(plain.toString(), "[Link Set 1]\r\nCH1=x\r\n\r\n[100%]\r\na%b=y\r\n\r\n");
}

TEST(IniFile, DuplicateSectionsMergeAndErasingWorks) {
  auto ini = IniFile::fromString("[S]\na=1\n[T]\nb=2\n[s]\nc=3\na=9\n");
  EXPECT_EQ(ini.readInteger("S", "a", 0), 1);
  EXPECT_EQ(ini.readInteger("S", "c", 0), 3);
  ini.deleteKey("S", "a");
  EXPECT_FALSE(ini.hasKey("S", "a"));
  EXPECT_EQ(ini.readInteger("s", "C", 0), 3);
  ini.eraseSection("t");
  EXPECT_FALSE(ini.hasSection("T"));
  EXPECT_EQ(ini.sectionNames(), (std::vector<std::string>{"S"}));
  EXPECT_EQ(ini.keyNames("S"), (std::vector<std::string>{"c"}));
  ini.writeString("T", "new", "v");
  EXPECT_EQ(ini.toString(), "[S]\r\nc=3\r\n\r\n[T]\r\nnew=v\r\n\r\n");
}

TEST(IniFile, LongSectionsKeepOrderAndFindEveryKey) {
  IniFile ini;
  for (int i = 0; i < 40; ++i) ini.writeInteger("Names", "Key" + std::to_string(i), i);
  ini.writeInteger("names", "KEY7", 700);  // replaced in place, found regardless of case
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ(ini.readInteger("NAMES", "key" + std::to_string(i), -1), i == 7 ? 700 : i) << i;
  ini.deleteKey("Names", "key0");
  ini.deleteKey("Names", "Key39");
  EXPECT_FALSE(ini.hasKey("Names", "Key0"));
  EXPECT_EQ(ini.readInteger("Names", "Key38", -1), 38);
  auto keys = ini.keyNames("Names");
  ASSERT_EQ(keys.size(), 38u);
  EXPECT_EQ(keys.front(), "Key1");
  EXPECT_EQ(keys.back(), "Key38");
  // The same through parsing, with a repeated key in a long section.
  std::string text = "[S]\n";
  for (int i = 0; i < 30; ++i) text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  text += "K5=dup\n";
  auto parsed = IniFile::fromString(text);
  EXPECT_EQ(parsed.readString("s", "k5", ""), "5");
  EXPECT_EQ(parsed.keyNames("S").size(), 30u);
}

TEST(IniFile, OwnedTextReadsAsCopiedText) {
  std::string text = "[A]\r\nk = v\r\n";
  auto ini = IniFile::fromOwnedString(std::string(text));
  EXPECT_EQ(ini.readString("a", "K", ""), "v");
  ini.writeString("A", "k", "changed");
  EXPECT_EQ(ini.readString("A", "k", ""), "changed");
  EXPECT_EQ(ini.toString(), "[A]\r\nk=changed\r\n\r\n");
}

TEST(IniFile, SectionViewReadsOneSection) {
  auto ini = IniFile::fromString("[Item0]\nLeft=$10\nName=a b\n");
  auto v = ini.section("ITEM0");
  ASSERT_TRUE(v.exists());
  EXPECT_EQ(v.readInteger("left", 0), 16);
  EXPECT_EQ(v.readString("NAME", "x"), "a b");
  EXPECT_EQ(v.readString("Missing", "x"), "x");
  EXPECT_FALSE(v.value("Missing").has_value());
  auto none = ini.section("Item1");
  EXPECT_FALSE(none.exists());
  EXPECT_EQ(none.readInteger("Left", 5), 5);
  ini.eraseSection("item0");
  EXPECT_EQ(ini.sectionCount(), 0u);
  EXPECT_EQ(ini.toString(), "");
  ini.clear();
  ini.writeString("A", "b", "c");
  EXPECT_EQ(ini.toString(), "[A]\r\nb=c\r\n\r\n");
}

TEST(IniFile, ManySectionsLookUpQuickly) {
  std::string text;
  constexpr int kSections = 50000;
  for (int i = 0; i < kSections; ++i)
    text += "[Item" + std::to_string(i) + "]\r\nLeft=" + std::to_string(i) + "\r\n\r\n";
  auto start = std::chrono::steady_clock::now();
  auto ini = IniFile::fromString(text);
  long long sum = 0;
  for (int i = 0; i < kSections; ++i) sum += ini.readInteger("ITEM" + std::to_string(i), "left", 0);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(sum, static_cast<long long>(kSections) * (kSections - 1) / 2);
  // A linear look-up would take tens of seconds here; hashing takes well under one.
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count(), 5);
}

TEST_F(TempDir, SavesAndLoadsCp932) {
  IniFile ini;
  ini.writeString("PVR3", "Name", "無題");
  ASSERT_TRUE(ini.save(path("x.ini")));
  auto bytes = readFileBytes(path("x.ini"));
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes.value(), "[PVR3]\r\nName=\x96\xb3\x91\xe8\r\n\r\n");
  auto back = IniFile::load(path("x.ini"));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->readString("pvr3", "name", ""), "無題");
  EXPECT_FALSE(IniFile::load(path("absent.ini")));
}

TEST_F(TempDir, AtomicWriteReplacesAndKeepsPermissions) {
  std::string p = path("f.txt");
  ASSERT_TRUE(writeFileAtomically(p, "old"));
  ASSERT_EQ(::chmod(p.c_str(), 0640), 0);
  ASSERT_TRUE(writeFileAtomically(p, "new contents"));
  EXPECT_EQ(readFileBytes(p).value(), "new contents");
  struct stat st {};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(fileCount(), 1u);  // no temporary file left behind
}

TEST_F(TempDir, AtomicWriteFollowsSymlink) {
  std::string real = path("real.txt");
  ASSERT_TRUE(writeFileAtomically(real, "a"));
  fs::create_symlink(real, path("link.txt"));
  ASSERT_TRUE(writeFileAtomically(path("link.txt"), "b"));
  EXPECT_TRUE(fs::is_symlink(path("link.txt")));
  EXPECT_EQ(readFileBytes(real).value(), "b");
}

TEST_F(TempDir, WriteErrorLeavesOldFileAndNoTemporary) {
  std::string p = path("keep.txt");
  ASSERT_TRUE(writeFileAtomically(p, "precious"));
  // A file size limit makes the write itself fail (as a full disk would), even for root.
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim {
      4, 4
    };
    ::setrlimit(RLIMIT_FSIZE, &lim);
    Status s = writeFileAtomically(p, "far too long to fit");
    ::_exit(s ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have failed";
  EXPECT_EQ(readFileBytes(p).value(), "precious");
  EXPECT_EQ(fileCount(), 1u);
}

TEST_F(TempDir, FailedWriteLeavesOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  std::string p = path("keep.txt");
  ASSERT_TRUE(writeFileAtomically(p, "precious"));
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  Status s = writeFileAtomically(p, "lost");
  EXPECT_FALSE(s);
  EXPECT_NE(s.message().find("keep.txt"), std::string::npos);
  EXPECT_FALSE(probeWritable(p));
  EXPECT_FALSE(probeWritable(path("new.txt")));
  fs::permissions(dir, fs::perms::owner_all);
  EXPECT_EQ(readFileBytes(p).value(), "precious");
  EXPECT_EQ(fileCount(), 1u);
}

TEST_F(TempDir, ProbeDoesNotCreateAndRefusesFolders) {
  EXPECT_TRUE(probeWritable(path("new.txt")));
  EXPECT_FALSE(fs::exists(path("new.txt")));
  EXPECT_FALSE(probeWritable(dir.string()));
  EXPECT_FALSE(writeFileAtomically(dir.string(), "x"));
  EXPECT_FALSE(probeWritable(path("nofolder/x.txt")));
  EXPECT_FALSE(readFileBytes(dir.string()));
}

TEST_F(TempDir, TextFilesDecodeAcrossReadPieces) {
  // Characters land on every side of the reader's 64 KiB pieces.
  std::string utf8;
  for (int i = 0; i < 150000; ++i) utf8 += i % 7 == 0 ? "無" : "a";
  ASSERT_TRUE(writeTextFile(path("big.txt"), utf8));
  auto back = readTextFile(path("big.txt"));
  ASSERT_TRUE(back);
  EXPECT_EQ(back.value(), utf8);
  EXPECT_EQ(readFileBytes(path("big.txt")).value(), utf8ToCp932(utf8));
}

TEST_F(TempDir, ReadingRefusesPipesAndDevicesWithoutWaiting) {
  std::string fifo = path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto r = readFileBytes(fifo);  // no writer: a blocking open would wait forever
  EXPECT_FALSE(r);
  EXPECT_NE(r.message().find("pipe"), std::string::npos);
  EXPECT_FALSE(readFileBytes("/dev/zero"));  // would never end
  EXPECT_FALSE(IniFile::load("/dev/null"));
  std::string empty = path("empty.txt");
  ASSERT_TRUE(writeFileAtomically(empty, ""));
  auto e = readFileBytes(empty);
  ASSERT_TRUE(e);
  EXPECT_EQ(e.value(), "");
}

TEST(FileIo, SplitsLinesAtEveryLineEnd) {
  using V = std::vector<std::string>;
  EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(splitLines("a\r\n"), (V{"a"}));
  EXPECT_EQ(splitLines("a\r\n\r\nb"), (V{"a", "", "b"}));
  EXPECT_EQ(splitLines("a\n\r"), (V{"a", ""}));
  EXPECT_TRUE(splitLines("").empty());
  EXPECT_EQ(joinLinesCrLf({"x", "y"}), "x\r\ny\r\n");
}

}  // namespace
}  // namespace pvrj
