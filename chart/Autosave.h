// The autosaved chart: where it lives, writing it away from the user's thread, and finding the one
// a run that did not end normally left behind.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "chart/Chart.h"
#include "common/Result.h"

namespace pvrj {

// A chart changed since it was last autosaved is saved again this long after the change.
inline constexpr std::chrono::seconds kAutosaveInterval{60};
inline constexpr const char* kAutosaveFolderName = "autosave";
inline constexpr const char* kAutosaveFileName = "autosave.VLB";
// Where an autosave the user did not restore is moved to, inside the autosave folder.
inline constexpr const char* kSetAsideFolderName = "kept";
inline constexpr const char* kRecoveryQuestion = "前回の編集内容が残っています。復元しますか？";

// userStateFolder()/autosave.
std::string autosaveFolder();
// The autosaved chart in folder. A normal exit removes it, so finding it at start means the run
// that wrote it did not end normally.
std::string autosavePath(const std::string& folder);

struct LeftAutosave {
  std::string path;
  std::time_t savedAt = 0;  // when it was written
};
// The autosave left in folder, if there is one.
std::optional<LeftAutosave> findLeftAutosave(const std::string& folder);
// The question asked at start, with the time the chart was saved.
std::string recoveryQuestion(std::time_t savedAt);
// Moves the autosave into folder/kept/ under a name that tells when it was saved; kept, never
// deleted. Gives the new path.
Result<std::string> setAutosaveAside(const std::string& folder, const LeftAutosave& left);
// Removes the autosave at a normal exit.
void removeAutosave(const std::string& folder);

// Writes charts into the autosave file on a thread of its own: the caller only copies the chart.
// Each write is atomic, so the file is always a whole chart, whenever the program is stopped.
class AutosaveWriter {
 public:
  explicit AutosaveWriter(std::string folder);
  // Finishes the write in progress; a chart still waiting is dropped.
  ~AutosaveWriter();
  AutosaveWriter(const AutosaveWriter&) = delete;
  AutosaveWriter& operator=(const AutosaveWriter&) = delete;

  const std::string& folder() const { return folder_; }
  // Hands a copy of the chart (without clipboard and selection) to the writer; a chart still
  // waiting is replaced by the newer one.
  void save(const Chart& chart);
  // Blocks until every chart handed over is written (or has failed).
  void wait();
  // Stops writing and waits for the write in progress: afterwards nothing touches the file.
  void stop();
  // How many writes ended, and the outcome of the last one.
  std::uint64_t finished() const;
  Status lastResult() const;

 private:
  void run();

  std::string folder_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::unique_ptr<Chart> waiting_;
  bool writing_ = false;
  bool stopping_ = false;
  bool exited_ = false;
  std::uint64_t finished_ = 0;
  Status last_ = Status::success();
  std::thread thread_;
};

}  // namespace pvrj
