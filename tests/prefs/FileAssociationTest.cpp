// The chart files' association: the desktop entry's Exec value, mimeapps.list edits, and the
// files written to and removed from a temporary XDG_DATA_HOME and XDG_CONFIG_HOME, with and
// without the desktop's own helpers.
#include "prefs/core/FileAssociation.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "packaging/DesktopFiles.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolderTest.h"

namespace pvrj {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Every regular file under folder, as paths relative to it.
std::vector<std::string> filesUnder(const fs::path& folder) {
  std::vector<std::string> found;
  if (!fs::exists(folder)) return found;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file() || e.is_symlink()) found.push_back(fs::relative(e.path(), folder));
  }
  return found;
}

struct ExecCase {
  const char* program;
  const char* value;  // as the desktop entry file holds it
};

TEST(DesktopExec, QuotesAndEscapesAsTheDesktopEntryRulesAsk) {
  const ExecCase cases[] = {
      {"/usr/bin/PVRJ", "/usr/bin/PVRJ %f"},
      {"/home/robo/my robot/PVRJ", "\"/home/robo/my robot/PVRJ\" %f"},
      {"/opt/100%/PVRJ", "/opt/100%%/PVRJ %f"},
      {"/opt/a$b/PVRJ", "\"/opt/a\\\\$b/PVRJ\" %f"},
      {"/opt/say \"hi\"/PVRJ", "\"/opt/say \\\\\"hi\\\\\"/PVRJ\" %f"},
      {"/opt/back\\slash/PVRJ", "\"/opt/back\\\\\\\\slash/PVRJ\" %f"},
      {"/opt/it's/PVRJ", "\"/opt/it's/PVRJ\" %f"},
      {"/opt/ロボット/PVRJ", "/opt/ロボット/PVRJ %f"},
  };
  for (const ExecCase& c : cases) {
    const Result<std::string> value = desktopExecValue(c.program);
    ASSERT_TRUE(value) << c.program;
    EXPECT_EQ(value.value(), c.value) << c.program;
  }
  EXPECT_FALSE(desktopExecValue("/opt/two\nlines/PVRJ"));
  EXPECT_FALSE(desktopExecValue("/opt/tab\there/PVRJ"));
  EXPECT_FALSE(desktopExecValue("/opt/\xff\xfe/PVRJ"));
  EXPECT_FALSE(desktopExecValue(""));
}

TEST(DesktopExec, OnlyTheExecLineChanges) {
  const std::string entry = "[Desktop Entry]\nName=X\nExec=PVRJ %f\nTryExecNot=1\n";
  EXPECT_EQ(desktopEntryWithExec(entry, "\"/a b/PVRJ\" %f"),
            "[Desktop Entry]\nName=X\nExec=\"/a b/PVRJ\" %f\nTryExecNot=1\n");
}

constexpr const char* kType = "application/x-pivora-chart";
constexpr const char* kId = "org.example.PivoraJ.desktop";

struct ListCase {
  const char* before;
  const char* registered;
};

TEST(MimeAppsList, TheDefaultGoesInAndComesOutAgain) {
  const ListCase cases[] = {
      {"", "[Default Applications]\napplication/x-pivora-chart=org.example.PivoraJ.desktop;\n"},
      {"[Added Associations]\ntext/plain=a.desktop;\n",
       "[Added Associations]\ntext/plain=a.desktop;\n\n[Default Applications]\n"
       "application/x-pivora-chart=org.example.PivoraJ.desktop;\n"},
      {"[Default Applications]\ntext/plain=a.desktop;\n\n[Added Associations]\nx/y=b.desktop;\n",
       "[Default Applications]\ntext/plain=a.desktop;\n"
       "application/x-pivora-chart=org.example.PivoraJ.desktop;\n\n"
       "[Added Associations]\nx/y=b.desktop;\n"},
      {"[Default Applications]\napplication/x-pivora-chart=other.desktop;\n",
       "[Default Applications]\n"
       "application/x-pivora-chart=org.example.PivoraJ.desktop;other.desktop;\n"},
      {"# kept\n[Default Applications]\ntext/plain=a.desktop;\n",
       "# kept\n[Default Applications]\ntext/plain=a.desktop;\n"
       "application/x-pivora-chart=org.example.PivoraJ.desktop;\n"},
  };
  for (const ListCase& c : cases) {
    const std::string registered = withDefaultApplication(c.before, kType, kId);
    EXPECT_EQ(registered, c.registered) << c.before;
    EXPECT_EQ(withDefaultApplication(registered, kType, kId), registered) << "twice";
    EXPECT_EQ(withoutDefaultApplication(registered, kType, kId), c.before) << c.before;
  }
}

TEST(MimeAppsList, RemovingLeavesOtherProgramsAlone) {
  const std::string list = "[Default Applications]\napplication/x-pivora-chart=other.desktop;\n";
  EXPECT_EQ(withoutDefaultApplication(list, kType, kId), list);
  EXPECT_EQ(withoutDefaultApplication("text/plain=a\n", kType, kId), "text/plain=a\n");
  EXPECT_EQ(
      withoutDefaultApplication("[Default Applications]\napplication/x-pivora-chart=x.desktop;"
                                "org.example.PivoraJ.desktop;y.desktop\n",
                                kType, kId),
      "[Default Applications]\napplication/x-pivora-chart=x.desktop;y.desktop;\n");
}

class AssociationFolders : public test::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    folders.dataHome = (dir / "data").string();
    folders.configHome = (dir / "config").string();
  }
  FileAssociation association(const std::string& program = "/usr/bin/PVRJ", bool helpers = false) {
    FileAssociation a(folders, program);
    a.runHelpers = helpers;
    return a;
  }
  fs::path data(const std::string& relative) const { return fs::path(folders.dataHome) / relative; }

  DesktopFolders folders;
};

TEST_F(AssociationFolders, RegisteringWritesTheTypeTheEntryTheIconsAndTheDefault) {
  FileAssociation a = association("/home/robo/my robot/PVRJ");
  EXPECT_FALSE(a.IsAssociationRegistered());
  ASSERT_TRUE(a.RegisterAssociation(true).ok());
  EXPECT_TRUE(a.IsAssociationRegistered());

  const std::string types = slurp(data("mime/packages/org.example.PivoraJ.xml"));
  EXPECT_EQ(types, embeddedDesktopFile(kMimePackageName));
  EXPECT_NE(types.find("<glob pattern=\"*.vlb\"/>"), std::string::npos);
  EXPECT_NE(types.find("<glob pattern=\"*.VLB\"/>"), std::string::npos);
  EXPECT_NE(types.find("value=\"[GraphicalEdit]\""), std::string::npos);

  const std::string entry = slurp(data("applications/org.example.PivoraJ.desktop"));
  EXPECT_NE(entry.find("\nExec=\"/home/robo/my robot/PVRJ\" %f\n"), std::string::npos);
  EXPECT_NE(entry.find("\nMimeType=application/x-pivora-chart;\n"), std::string::npos);
  EXPECT_NE(entry.find("\nIcon=org.example.PivoraJ\n"), std::string::npos);

  for (int size : kIconSizes) {
    const std::string folder = std::to_string(size) + "x" + std::to_string(size);
    const std::string png =
        slurp(data("icons/hicolor/" + folder + "/apps/org.example.PivoraJ.png"));
    ASSERT_GT(png.size(), 24u) << size;
    EXPECT_EQ(png.substr(1, 3), "PNG");
    // The picture's own width and height, from its header.
    auto word = [&png](std::size_t at) {
      return (static_cast<unsigned char>(png[at]) << 24) |
             (static_cast<unsigned char>(png[at + 1]) << 16) |
             (static_cast<unsigned char>(png[at + 2]) << 8) |
             static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_EQ(word(16), size);
    EXPECT_EQ(word(20), size);
  }
  EXPECT_NE(slurp(data("icons/hicolor/scalable/apps/org.example.PivoraJ.svg")).find("<svg"),
            std::string::npos);

  EXPECT_EQ(slurp(fs::path(folders.configHome) / "mimeapps.list"),
            "[Default Applications]\napplication/x-pivora-chart=org.example.PivoraJ.desktop;\n");
}

TEST_F(AssociationFolders, RemovingTakesAwayExactlyWhatRegisteringWrote) {
  const std::string ownList =
      "[Default Applications]\ntext/plain=editor.desktop;\n\n[Added Associations]\n"
      "image/png=viewer.desktop;\n";
  spit(fs::path(folders.configHome) / "mimeapps.list", ownList);
  spit(data("applications/other.desktop"), "[Desktop Entry]\n");
  spit(data("icons/hicolor/48x48/apps/other.png"), "png");
  const std::vector<std::string> before = filesUnder(dir);

  FileAssociation a = association();
  ASSERT_TRUE(a.RegisterAssociation(true).ok());
  ASSERT_TRUE(a.RegisterAssociation(true).ok());  // again over itself
  EXPECT_EQ(filesUnder(dir).size(), before.size() + a.files().size());
  ASSERT_TRUE(a.RegisterAssociation(false).ok());
  EXPECT_FALSE(a.IsAssociationRegistered());
  EXPECT_EQ(filesUnder(dir), before);
  EXPECT_EQ(slurp(fs::path(folders.configHome) / "mimeapps.list"), ownList);
  EXPECT_TRUE(fs::exists(data("icons/hicolor/48x48/apps")));
  EXPECT_FALSE(fs::exists(data("icons/hicolor/16x16")));
  // Removing what is not there is no failure.
  EXPECT_TRUE(a.RegisterAssociation(false).ok());
}

TEST_F(AssociationFolders, AListThatHeldOnlyTheEditorGoesAway) {
  FileAssociation a = association();
  ASSERT_TRUE(a.RegisterAssociation(true).ok());
  ASSERT_TRUE(a.RegisterAssociation(false).ok());
  EXPECT_TRUE(filesUnder(dir).empty());
}

TEST_F(AssociationFolders, RemovingWhatIsNotThereTouchesNothing) {
  fs::create_directories(data("applications"));
  spit(fs::path(folders.configHome) / "mimeapps.list", "\n");
  FileAssociation a = association("/usr/bin/PVRJ", true);
  ASSERT_TRUE(a.RegisterAssociation(false).ok());
  // No helper ran (update-desktop-database would have written its cache), the list stayed.
  EXPECT_EQ(filesUnder(dir), std::vector<std::string>{"config/mimeapps.list"});
  EXPECT_EQ(slurp(fs::path(folders.configHome) / "mimeapps.list"), "\n");
}

TEST_F(AssociationFolders, AFailedRegistrationLeavesNothingBehind) {
  spit(data("applications"), "a file where the folder should be");
  FileAssociation a = association();
  const Status s = a.RegisterAssociation(true);
  EXPECT_FALSE(s.ok());
  EXPECT_FALSE(s.message().empty());
  EXPECT_FALSE(a.IsAssociationRegistered());
  EXPECT_EQ(filesUnder(dir), std::vector<std::string>{"data/applications"});
}

TEST_F(AssociationFolders, AProgramPathThatCannotBeNamedIsRefused) {
  FileAssociation a = association("/opt/two\nlines/PVRJ");
  EXPECT_FALSE(a.RegisterAssociation(true).ok());
  EXPECT_TRUE(filesUnder(dir).empty());
}

TEST_F(AssociationFolders, FoldersComeFromTheEnvironment) {
  const char* keep[] = {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "HOME"};
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
  for (const char* name : keep) {
    const char* v = getenv(name);
    saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
  }
  setenv("HOME", "/home/robo", 1);
  setenv("XDG_DATA_HOME", "/xdg/data", 1);
  setenv("XDG_CONFIG_HOME", "relative", 1);  // the XDG rules ignore a relative path
  const DesktopFolders f = DesktopFolders::fromEnvironment();
  EXPECT_EQ(f.dataHome, "/xdg/data");
  EXPECT_EQ(f.configHome, "/home/robo/.config");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(DesktopFolders::fromEnvironment().dataHome, "/home/robo/.local/share");
  for (const auto& [name, value] : saved) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

// With the desktop's helpers: the MIME database knows *.vlb and the desktop database the entry,
// the written entry passes desktop-file-validate, and gio finds the editor as the default.
TEST_F(AssociationFolders, TheDesktopsOwnToolsSeeTheRegistration) {
  for (const char* tool :
       {"update-mime-database", "update-desktop-database", "desktop-file-validate", "gio"}) {
    ASSERT_EQ(test::runProgram({"/bin/sh", "-c", std::string("command -v ") + tool}).exitCode, 0)
        << tool << " is missing: run scripts/deps.sh's installer (scripts/test does)";
  }
  // gio lists only entries whose program exists.
  const fs::path program = dir / "robot $tools" / "PVRJ";
  spit(program, "#!/bin/sh\n");
  fs::permissions(program, fs::perms::owner_all);
  FileAssociation a = association(program.string(), true);
  ASSERT_TRUE(a.RegisterAssociation(true).ok());
  const std::string globs = slurp(data("mime/globs2"));
  EXPECT_NE(globs.find("application/x-pivora-chart:*.vlb"), std::string::npos);
  EXPECT_NE(slurp(data("applications/mimeinfo.cache")).find("application/x-pivora-chart="),
            std::string::npos);

  const test::ChildResult valid =
      test::runProgram({"/bin/sh", "-c", "desktop-file-validate \"$0\"", a.desktopEntryPath()});
  EXPECT_EQ(valid.exitCode, 0) << valid.out << valid.err;

  const std::vector<std::string> env = {"XDG_DATA_HOME=" + folders.dataHome,
                                        "XDG_CONFIG_HOME=" + folders.configHome, "LC_ALL=C.UTF-8"};
  spit(dir / "walk.vlb", "[GraphicalEdit]\r\nType=0\r\n");
  const test::ChildResult type = test::runProgram(
      {"/bin/sh", "-c", "gio info -a standard::content-type \"$0\"", (dir / "walk.vlb").string()},
      env);
  EXPECT_NE(type.out.find("application/x-pivora-chart"), std::string::npos) << type.out << type.err;
  const test::ChildResult app =
      test::runProgram({"/bin/sh", "-c", "gio mime application/x-pivora-chart"}, env);
  EXPECT_NE(app.out.find("Default application for"), std::string::npos) << app.out << app.err;
  EXPECT_NE(app.out.find("org.example.PivoraJ.desktop"), std::string::npos) << app.out;

  ASSERT_TRUE(a.RegisterAssociation(false).ok());
  EXPECT_EQ(slurp(data("mime/globs2")).find("*.vlb"), std::string::npos);
  EXPECT_EQ(slurp(data("applications/mimeinfo.cache")).find("application/x-pivora-chart"),
            std::string::npos);
}

}  // namespace
}  // namespace pvrj
