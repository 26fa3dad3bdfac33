// The position editor's rules without its window.
#include "editors/core/PoseEditor.h"

#include <algorithm>
#include <cmath>

#include "compiler/Transfer.h"
#include "editors/core/Desktop.h"
#include "editors/core/PoseBoard.h"

namespace pvrj {
namespace {

// Clears a flag when the scope ends, whatever way it ends.
class BusyScope {
 public:
  explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~BusyScope() { flag_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& flag_;
};

bool choosesFree(std::uint16_t word) {
  return word >= kWordFree && word <= kWordSet3;
}

}  // namespace

PoseEditor::PoseEditor(Chart& chart) : chart_(chart) {
  for (int n = 1; n <= kChannelCount; ++n) names_[at(n - 1)] = defaultChannelName(n);
}

ChartItem* PoseEditor::editedItem() {
  if (!chart_.validItem(item_)) return nullptr;
  ChartItem& item = chart_.items[at(item_)];
  return item.Type == kItemPos ? &item : nullptr;
}

void PoseEditor::setLinkActions(std::span<const std::string> entries) {
  linkActions_ = parseLinkSet(entries);
}

void PoseEditor::storeWord(int channel, std::uint16_t word) {
  if (ChartItem* item = editedItem()) item->PrmWords[at(channel)] = word;
}

void PoseEditor::sendLive(int channel, std::uint16_t word) {
  if (sync()) link_->CmdSetServo(channel, word);
}

void PoseEditor::setSpeedBar(int position, bool always) {
  const int limited = std::clamp(position, kSpeedBarMin, kSpeedBarMax);
  const bool moved = limited != speedBar_;
  speedBar_ = limited;
  // The item always takes what the bar shows, so a speed of 0 in a file becomes 1 whatever item
  // was open before.
  if (moved || always) {
    if (ChartItem* item = editedItem()) item->PrmByte = static_cast<std::uint8_t>(speedBar_);
  }
  if (speedShown) speedShown();
}

void PoseEditor::open(int item) {
  item_ = item;
  ChartItem* edited = editedItem();
  if (edited == nullptr) return;
  setSpeedBar(edited->PrmByte, true);
  for (int ch = 0; ch < kChannelCount; ++ch) {
    showWord(channels_[at(ch)], edited->PrmWords[at(ch)]);
    shown(ch);
  }
}

bool PoseEditor::sendOpenedPose() {
  const ChartItem* edited = editedItem();
  if (edited == nullptr || !sync()) return true;
  const PrmWordArray& words = edited->PrmWords;
  if (std::all_of(words.begin(), words.end(), [](std::uint16_t w) { return w == 0; })) getPose();
  return sendLiveRecord(*link_, poseRecord());
}

bool PoseEditor::movePositionBar(int channel, int position) {
  if (busy_) return false;
  BusyScope scope(busy_);
  const std::uint16_t word = pvrj::movePositionBar(channels_[at(channel)], position);
  storeWord(channel, word);
  shown(channel);
  sendLive(channel, word);
  return true;
}

bool PoseEditor::moveSmallBar(int channel, int position) {
  if (busy_) return false;
  BusyScope scope(busy_);
  const std::uint16_t word = pvrj::moveSmallBar(channels_[at(channel)], position);
  storeWord(channel, word);
  shown(channel);
  sendLive(channel, word);
  return true;
}

void PoseEditor::enterValue(int channel, std::string_view text) {
  const std::optional<std::uint16_t> word = pvrj::enterValue(channels_[at(channel)], text);
  if (!word) return;
  storeWord(channel, *word);
  shown(channel);
  sendLive(channel, *word);
}

bool PoseEditor::moveSpeedBar(int position) {
  if (busy_) return false;
  BusyScope scope(busy_);
  setSpeedBar(position, false);
  return true;
}

void PoseEditor::enterSpeed(std::string_view text) {
  const std::optional<double> typed = parseTypedNumber(text);
  int value = speedBar_;
  if (typed && *typed == std::floor(*typed) && *typed >= kSpeedBarMin && *typed <= kSpeedBarMax) {
    value = static_cast<int>(*typed);
  }
  setSpeedBar(value, true);
}

void PoseEditor::releaseRadio(int channel, Radio radio) {
  ChannelState& state = channels_[at(channel)];
  const std::uint16_t word = chooseRadio(state, radio);
  storeWord(channel, word);
  shown(channel);
  if (!sync()) return;
  link_->CmdSetServo(channel, word);
  // A free or setting channel shows where its servo really is (the word stays as chosen).
  if (!link_->noReplySent() || !choosesFree(word)) return;
  if (std::optional<PositionBlock> positions = readPresentPositions(*link_)) {
    showMeasuredPosition(state, positions->words[at(channel)]);
    shown(channel);
  }
}

void PoseEditor::chooseType(int channel, ChannelType type) {
  const std::uint16_t word = chooseChannelType(channels_[at(channel)], type);
  storeWord(channel, word);
  shown(channel);
  sendLive(channel, word);
}

bool PoseEditor::linkStep(int multiplier) {
  if (!linkChosen_) return false;
  const ChartItem* item = editedItem();
  if (item == nullptr) return false;
  PositionRecord record;
  record.lead = kStepLead;
  record.block.words = pvrj::linkStep(linkActions_, item->PrmWords, multiplier);
  if (sync() && !sendLiveRecord(*link_, record)) return false;
  for (int ch = 0; ch < kChannelCount; ++ch) {
    const std::uint16_t word = record.block.words[at(ch)];
    storeWord(ch, word);
    showWord(channels_[at(ch)], word);
    shown(ch);
  }
  return true;
}

bool PoseEditor::teach() {
  if (!linkChosen_) return false;
  bool secondPress = false;
  for (int ch = 0; ch < kChannelCount; ++ch) {
    if (linkActions_[at(ch)].teaches() && wordFromControls(ch) == kWordFree) secondPress = true;
  }
  PositionRecord record;
  if (secondPress) {
    // The teach channels hold the position they were put in; then every free servo is read.
    record.lead = kStepLead;
    for (int ch = 0; ch < kChannelCount; ++ch) {
      record.block.words[at(ch)] =
          linkActions_[at(ch)].teaches() ? kWordTeach : wordFromControls(ch);
    }
    if (link_ == nullptr || !sendLiveRecord(*link_, record)) return false;
    const std::optional<PositionBlock> positions = readPresentPositions(*link_);
    if (!positions) return false;
    PositionRecord pose;
    pose.lead = static_cast<std::uint8_t>(speedBar_);
    for (int ch = 0; ch < kChannelCount; ++ch) {
      const std::uint16_t word = wordFromControls(ch);
      pose.block.words[at(ch)] = word == kWordFree ? positions->words[at(ch)] : word;
    }
    loadRecord(pose);
    return true;
  }
  // First press: the teach channels go limp so the robot can be posed by hand.
  record.lead = static_cast<std::uint8_t>(speedBar_);
  for (int ch = 0; ch < kChannelCount; ++ch) {
    record.block.words[at(ch)] = linkActions_[at(ch)].teaches() ? kWordFree : wordFromControls(ch);
  }
  loadRecord(record);
  return link_ != nullptr && sendLiveRecord(*link_, record);
}

bool PoseEditor::getPose() {
  if (link_ == nullptr) return false;
  std::optional<PositionRecord> pose = readCurrentPose(*link_);
  if (!pose) return false;
  pose->lead = static_cast<std::uint8_t>(speedBar_);
  loadRecord(*pose);
  return true;
}

bool PoseEditor::sendPose() {
  return link_ != nullptr && sendLiveRecord(*link_, poseRecord());
}

bool PoseEditor::returnToHome(bool loadIntoItem) {
  if (link_ == nullptr) return false;
  PositionRecord sent;
  sent.lead = 0;  // stays 0 unless the home pose went out
  const bool done = pvrj::returnToHome(*link_, &sent);
  if (loadIntoItem && sent.lead == kHomeSpeed) loadRecord(sent);
  return done;
}

bool PoseEditor::toggleSleep() {
  return link_ != nullptr && link_->SetSleep(kSleepToggle);
}

bool PoseEditor::makeHomePosition() {
  return link_ != nullptr && writeHomePosition(*link_, poseRecord().block);
}

bool PoseEditor::renameChannels(std::span<const std::string> entries) {
  const std::size_t count = std::min<std::size_t>(entries.size(), kChannelCount);
  for (std::size_t i = 0; i < count; ++i) {
    if (!entries[i].empty()) names_[i] = entries[i];
  }
  for (int ch = 0; ch < kChannelCount; ++ch) shown(ch);
  return link_ != nullptr && writeChannelNames(*link_, names_);
}

void PoseEditor::setDisplayRates(std::span<const std::string> entries) {
  const std::size_t count = std::min<std::size_t>(entries.size(), kChannelCount);
  for (std::size_t i = 0; i < count; ++i) {
    if (std::optional<float> rate = parseDisplayRate(entries[i])) {
      setDisplayRate(channels_[i], *rate);
    }
  }
  for (int ch = 0; ch < kChannelCount; ++ch) shown(ch);
}

std::uint16_t PoseEditor::wordFromControls(int channel) const {
  return pvrj::wordFromControls(channels_[at(channel)]);
}

PositionRecord PoseEditor::poseRecord() const {
  PositionRecord record;
  record.lead = static_cast<std::uint8_t>(speedBar_);
  for (int ch = 0; ch < kChannelCount; ++ch) record.block.words[at(ch)] = wordFromControls(ch);
  return record;
}

void PoseEditor::loadRecord(const PositionRecord& record) {
  setSpeedBar(record.lead, true);
  for (int ch = 0; ch < kChannelCount; ++ch) {
    const std::uint16_t word = record.block.words[at(ch)];
    storeWord(ch, word);
    showWord(channels_[at(ch)], word);
    shown(ch);
  }
}

}  // namespace pvrj
