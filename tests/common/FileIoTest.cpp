// Tests of safe file writing at odd targets: chains of links, long names, and the temporary files
// that killed saves leave behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/FileIo.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

namespace fs = std::filesystem;

// A temporary file's name without the ".PID.N.tmp" that every writer adds.
std::string targetPartOf(const std::string& temp) {
  std::string name = fs::path(temp).filename().string();
  for (int dots = 0; dots < 3; ++dots) name.erase(name.find_last_of('.'));
  return name;
}

class SaveTarget : public test::TempFolderTest {
 protected:
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir)) found.push_back(e.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
  }
};

// A child process that opens a writer on target, writes a little, tells its temporary file's
// path through a pipe and then waits to be killed: a save cut off half way.
class HalfSave {
 public:
  explicit HalfSave(const std::string& target) {
    int toParent[2];
    int fromParent[2];
    if (::pipe(toParent) != 0 || ::pipe(fromParent) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(toParent[0]);
      ::close(fromParent[1]);
      AtomicFileWriter writer;
      if (!writer.open(target) || !writer.write("half of a chart")) ::_exit(1);
      const std::string& temp = writer.temporaryPath();
      if (::write(toParent[1], temp.data(), temp.size()) < 0) ::_exit(1);
      ::close(toParent[1]);
      char c;
      while (::read(fromParent[0], &c, 1) < 0) {
      }
      ::_exit(0);  // nothing committed, nothing cleaned: as if killed
    }
    ::close(toParent[1]);
    ::close(fromParent[0]);
    release_ = fromParent[1];
    char buf[4096];
    ssize_t n;
    while ((n = ::read(toParent[0], buf, sizeof buf)) > 0)
      temp_.append(buf, static_cast<std::size_t>(n));
    ::close(toParent[0]);
  }
  ~HalfSave() { kill(); }
  HalfSave(const HalfSave&) = delete;
  HalfSave& operator=(const HalfSave&) = delete;

  const std::string& temporaryPath() const { return temp_; }
  void kill() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    if (release_ >= 0) ::close(release_);
    release_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  std::string temp_;
};

TEST_F(SaveTarget, ChainsOfLinksAreFollowedToTheirEnd) {
  // l1 -> l2 -> real.txt: the file at the end is replaced, both links stay links.
  ASSERT_TRUE(writeFileAtomically(path("real.txt"), "old"));
  fs::create_symlink("l2", path("l1"));
  fs::create_symlink(path("real.txt"), path("l2"));
  ASSERT_TRUE(writeFileAtomically(path("l1"), "new"));
  EXPECT_TRUE(fs::is_symlink(path("l1")));
  EXPECT_TRUE(fs::is_symlink(path("l2")));
  EXPECT_EQ(readFileBytes(path("real.txt")).value(), "new");

  // d1 -> d2 -> missing.txt: the missing file is created, the links stay.
  fs::create_symlink("d2", path("d1"));
  fs::create_symlink("missing.txt", path("d2"));
  ASSERT_TRUE(probeWritable(path("d1")));
  ASSERT_TRUE(writeFileAtomically(path("d1"), "made"));
  EXPECT_TRUE(fs::is_symlink(path("d1")));
  EXPECT_TRUE(fs::is_symlink(path("d2")));
  EXPECT_EQ(readFileBytes(path("missing.txt")).value(), "made");
  EXPECT_EQ(resolveSaveTarget(path("d1")).value(), path("missing.txt"));
}

TEST_F(SaveTarget, LoopsOfLinksAreRefused) {
  fs::create_symlink("b.VLB", path("a.VLB"));
  fs::create_symlink("a.VLB", path("b.VLB"));
  fs::create_symlink("self", path("self"));
  for (const char* name : {"a.VLB", "b.VLB", "self"}) {
    EXPECT_FALSE(probeWritable(path(name))) << name;
    Status s = writeFileAtomically(path(name), "x");
    EXPECT_FALSE(s) << name;
    EXPECT_TRUE(fs::is_symlink(path(name))) << name;
  }
  EXPECT_EQ(names(), (std::vector<std::string>{"a.VLB", "b.VLB", "self"}));
}

TEST_F(SaveTarget, NamesUpToTheLongestAllowedSave) {
  for (std::size_t length : {200u, 243u, 250u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".VLB";
    ASSERT_TRUE(writeFileAtomically(path(name), "old")) << length;
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.open(path(name))) << length;
    EXPECT_EQ(fs::path(writer.temporaryPath()).parent_path(), dir);
    writer.write("new");
    ASSERT_TRUE(writer.commit()) << length;
    EXPECT_EQ(readFileBytes(path(name)).value(), "new");
  }
  EXPECT_EQ(names().size(), 4u);  // no temporary file left behind
  // Two long names alike up to far beyond the limit still get temporary files of their own.
  const std::string stem(300, 'x');
  AtomicFileWriter a;
  AtomicFileWriter b;
  ASSERT_TRUE(a.open(path(stem.substr(0, 251) + "1")));
  ASSERT_TRUE(b.open(path(stem.substr(0, 251) + "2")));
  EXPECT_NE(targetPartOf(a.temporaryPath()), targetPartOf(b.temporaryPath()));
}

TEST_F(SaveTarget, LeftoversOfKilledSavesAreRemovedByTheNextSave) {
  const std::string target = path("walk.VLB");
  ASSERT_TRUE(writeFileAtomically(target, "old"));
  HalfSave killed(target);
  ASSERT_FALSE(killed.temporaryPath().empty());
  killed.kill();
  ASSERT_TRUE(fs::exists(killed.temporaryPath()));
  // The leftover of another target stays; it is that target's save that clears it.
  HalfSave other(path("other.VLB"));
  other.kill();
  ASSERT_TRUE(fs::exists(other.temporaryPath()));

  ASSERT_TRUE(writeFileAtomically(target, "new"));
  EXPECT_FALSE(fs::exists(killed.temporaryPath()));
  EXPECT_TRUE(fs::exists(other.temporaryPath()));
  EXPECT_EQ(readFileBytes(target).value(), "new");
}

TEST_F(SaveTarget, SavesStillRunningKeepTheirTemporaryFiles) {
  const std::string target = path("walk.VLB");
  HalfSave running(target);
  ASSERT_FALSE(running.temporaryPath().empty());
  ASSERT_TRUE(writeFileAtomically(target, "mine"));
  EXPECT_TRUE(fs::exists(running.temporaryPath()));
  EXPECT_EQ(readFileBytes(running.temporaryPath()).value(), "half of a chart");
  running.kill();
  ASSERT_TRUE(writeFileAtomically(target, "mine again"));
  EXPECT_FALSE(fs::exists(running.temporaryPath()));
}

TEST_F(SaveTarget, LockedLeftoversOfVanishedProcessesStay) {
  // A temporary file whose process number is gone but which someone still holds locked (a writer
  // in another process namespace or on another machine) is not a leftover.
  pid_t gone = ::fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string temp = path(".walk.VLB." + std::to_string(gone) + ".0.tmp");
  std::ofstream(temp) << "someone's";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    int fd = ::open(temp.c_str(), O_RDONLY);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "L", 1) != 1) ::_exit(1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);  // the lock is taken
  ::close(ready[0]);
  ASSERT_TRUE(writeFileAtomically(path("walk.VLB"), "x"));
  EXPECT_TRUE(fs::exists(temp));
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  // Unlocked and without a process, the same file is taken away.
  ASSERT_TRUE(writeFileAtomically(path("walk.VLB"), "y"));
  EXPECT_FALSE(fs::exists(temp));
}

}  // namespace
}  // namespace pvrj
