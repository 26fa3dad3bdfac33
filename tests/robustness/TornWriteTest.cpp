// Torn writes: a process that saves a chart, the settings file, the pattern file or a trim file
// over and over is killed with SIGKILL at random moments, 200 times for each file. After every kill
// the file holds one of the versions the saves write, whole; the temporary files the killed saves
// leave are cleared by the next save.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "common/FileIo.h"
#include "support/ChildProcess.h"
#include "support/TempFolderTest.h"

namespace pvrj::test {
namespace {

constexpr int kKills = 200;
constexpr int kMidSaveKills = kKills / 10;
constexpr int kMaxKills = 2 * kKills;

class TornWriteTest : public TempFolderTest {
 protected:
  // Runs the writer for a number of saves and returns what the file holds afterwards.
  std::string save(const std::string& kind, const std::string& file, int saves) {
    const ChildResult r = runProgram({PVRJ_TORN_WRITER_EXE, kind, file, std::to_string(saves)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto bytes = readFileBytes(file);
    EXPECT_TRUE(bytes.ok()) << bytes.message();
    return bytes.ok() ? bytes.value() : std::string();
  }

  // Temporary files of saves beside the target: ".NAME.PID.N.tmp".
  int leftovers() const {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with(".") && name.ends_with(".tmp")) ++n;
    }
    return n;
  }

  // Kills a writer that saves `kind` in a cycle of `cycle` saves, kKills times, each time after
  // a random wait.
  void killWhileSaving(const std::string& kind, int cycle) {
    const std::string target = path("target");
    const std::string scratch = path("scratch");
    // The versions: whatever one cycle of saves leaves after each of its saves.
    const std::string steady = save(kind, target, cycle);
    std::set<std::string> versions{steady};
    for (int k = 1; k <= cycle; ++k) {
      ASSERT_TRUE(writeFileAtomically(scratch, steady));
      versions.insert(save(kind, scratch, k));
    }
    // Kills land anywhere from before the first save to well into the saving.
    const auto start = std::chrono::steady_clock::now();
    save(kind, scratch, 2 * cycle);
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    std::filesystem::remove(scratch);

    std::mt19937 random(20251208);
    // At least kKills kills, and on until a tenth of that many came in the middle of a save (a
    // loaded machine gives the writer less time to be saving when the kill comes).
    int midSave = 0;
    int kills = 0;
    for (int i = 0; i < kKills || (midSave < kMidSaveKills && i < kMaxKills); ++i, ++kills) {
      int outFd = -1, errFd = -1;
      const pid_t pid = detail::spawn({PVRJ_TORN_WRITER_EXE, kind, target, "0"}, {}, outFd, errFd);
      ASSERT_GT(pid, 0);
      // The moment of the kill is the point of the test; it orders nothing.
      std::this_thread::sleep_for(std::chrono::microseconds(random() % span.count()));
      ::kill(pid, SIGKILL);
      int status = 0;
      ::waitpid(pid, &status, 0);
      ::close(outFd);
      ::close(errFd);
      auto bytes = readFileBytes(target);
      ASSERT_TRUE(bytes.ok()) << "kill " << i << ": " << bytes.message();
      ASSERT_TRUE(versions.count(bytes.value()) == 1)
          << "kill " << i << " left a file that no save writes (" << bytes.value().size()
          << " bytes)";
      if (leftovers() > 0) ++midSave;
    }
    // A save after the kills clears what the killed saves left.
    save(kind, target, cycle);
    EXPECT_EQ(leftovers(), 0);
    std::printf("%s: %d kills, %d of them during a save, every file whole (%zu versions)\n",
                kind.c_str(), kills, midSave, versions.size());
    // Much of the writer's life is spent saving: many kills come in the middle of one.
    EXPECT_GE(midSave, kMidSaveKills);
  }
};

TEST_F(TornWriteTest, ChartFile) {
  killWhileSaving("chart", 2);
}

TEST_F(TornWriteTest, SettingsFile) {
  killWhileSaving("settings", 4);
}

TEST_F(TornWriteTest, PatternFile) {
  killWhileSaving("pattern", 2);
}

TEST_F(TornWriteTest, TrimFile) {
  killWhileSaving("trim", 2);
}

}  // namespace
}  // namespace pvrj::test
