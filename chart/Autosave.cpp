// The autosaved chart: its folder, the writer thread, and what a crashed run left behind.
#include "chart/Autosave.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "chart/ChartFile.h"
#include "common/SettingsFolder.h"

namespace pvrj {
namespace {

constexpr int kMostSetAsideNames = 1000;  // names tried for one second's autosave
// The writer yields to the user's thread when the processor is busy.
constexpr int kWriterNiceness = 10;

std::string localTime(std::time_t t, const char* format) {
  std::tm parts{};
  localtime_r(&t, &parts);
  char text[64];
  return std::strftime(text, sizeof text, format, &parts) ? std::string(text) : std::string();
}

// The parts of a chart a file holds.
std::unique_ptr<Chart> contentCopy(const Chart& chart) {
  auto copy = std::make_unique<Chart>();
  copy->Type = chart.Type;
  copy->Start = chart.Start;
  copy->Name = chart.Name;
  copy->Port = chart.Port;
  copy->Ctrl = chart.Ctrl;
  copy->Width = chart.Width;
  copy->Height = chart.Height;
  copy->items = chart.items;
  copy->links = chart.links;
  return copy;
}

}  // namespace

std::string autosaveFolder() {
  return userStateFolder() + "/" + kAutosaveFolderName;
}

std::string autosavePath(const std::string& folder) {
  return folder + "/" + kAutosaveFileName;
}

std::optional<LeftAutosave> findLeftAutosave(const std::string& folder) {
  const std::string path = autosavePath(folder);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return LeftAutosave{path, info.st_mtime};
}

std::string recoveryQuestion(std::time_t savedAt) {
  return std::string(kRecoveryQuestion) +
         "\n\n保存時刻: " + localTime(savedAt, "%Y/%m/%d %H:%M:%S");
}

Result<std::string> setAutosaveAside(const std::string& folder, const LeftAutosave& left) {
  const std::string kept = folder + "/" + kSetAsideFolderName;
  std::error_code ec;
  std::filesystem::create_directories(kept, ec);
  if (ec) return Result<std::string>::failure(kept + ": " + ec.message());
  const std::string stem = kept + "/autosave-" + localTime(left.savedAt, "%Y%m%d-%H%M%S");
  for (int n = 1; n <= kMostSetAsideNames; ++n) {
    const std::string target = stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".VLB";
    // link + unlink rather than rename: an older file of the same name is never replaced.
    if (::link(left.path.c_str(), target.c_str()) == 0) {
      ::unlink(left.path.c_str());
      return target;
    }
    if (errno != EEXIST) return Result<std::string>::failure(target + ": " + std::strerror(errno));
  }
  return Result<std::string>::failure(stem + ": no free name");
}

void removeAutosave(const std::string& folder) {
  ::unlink(autosavePath(folder).c_str());
}

AutosaveWriter::AutosaveWriter(std::string folder)
    : folder_(std::move(folder)), thread_([this] { run(); }) {}

AutosaveWriter::~AutosaveWriter() {
  stop();
}

void AutosaveWriter::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    waiting_.reset();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void AutosaveWriter::save(const Chart& chart) {
  auto copy = contentCopy(chart);
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    waiting_ = std::move(copy);
  }
  wake_.notify_one();
}

void AutosaveWriter::wait() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return (!waiting_ && !writing_) || exited_; });
}

std::uint64_t AutosaveWriter::finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

Status AutosaveWriter::lastResult() const {
  std::lock_guard lock(mutex_);
  return last_;
}

void AutosaveWriter::run() {
  // Best effort: on Linux a thread's niceness is its own.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWriterNiceness);
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || waiting_ != nullptr; });
    if (stopping_) break;
    std::unique_ptr<Chart> chart = std::move(waiting_);
    writing_ = true;
    lock.unlock();
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    Status result = ec ? Status::failure(folder_ + ": " + ec.message())
                       : writeChartFile(*chart, autosavePath(folder_));
    chart.reset();
    lock.lock();
    writing_ = false;
    last_ = std::move(result);
    ++finished_;
    done_.notify_all();
  }
  writing_ = false;
  exited_ = true;
  done_.notify_all();
}

}  // namespace pvrj
