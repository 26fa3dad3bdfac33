// The position editor's rules without its window: the 24 channels and the speed of the edited POS
// item, every edit with its live send while "SYNC" is checked, the link step, teaching, and the
// tool panel's board operations. The window shows what it is told changed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "chart/Chart.h"
#include "editors/core/ChannelModel.h"
#include "editors/core/LinkActions.h"
#include "protocol/BoardLink.h"

namespace pvrj {

class PoseEditor {
 public:
  explicit PoseEditor(Chart& chart);

  // The board; null while there is none (every board operation then fails).
  void setLink(BoardLink* link) { link_ = link; }
  BoardLink* link() const { return link_; }
  // Whether the main window's "SYNC" box is checked: edits then go to the robot at once.
  std::function<bool()> syncChecked;
  // Told which controls changed, so the window can show them.
  std::function<void(int channel)> channelShown;  // 0 to 23
  std::function<void()> speedShown;

  const ChannelState& channel(int index) const { return channels_[at(index)]; }
  // For the window's own settings (display rates, modes from the saved desktop).
  ChannelState& channel(int index) { return channels_[at(index)]; }
  int speedBar() const { return speedBar_; }
  // The item being edited (-1 before the first opening).
  int itemIndex() const { return item_; }
  // The edited POS item, or null when the index no longer names a POS item of the chart.
  ChartItem* editedItem();
  // Whether a bar's change is being handled now.
  bool busy() const { return busy_; }

  // Channel names, "CH1" ... at first.
  const std::array<std::string, kChannelCount>& names() const { return names_; }
  void setName(int index, std::string name) { names_[at(index)] = std::move(name); }

  // The link actions loaded from a link set, and whether an entry of the link list is chosen.
  const LinkSet& linkActions() const { return linkActions_; }
  void setLinkActions(std::span<const std::string> entries);
  void clearLinkActions() { linkActions_ = LinkSet{}; }
  bool linkChosen() const { return linkChosen_; }
  void setLinkChosen(bool chosen) { linkChosen_ = chosen; }

  // Opening for item: the speed bar and every channel show the item.
  void open(int item);
  // Then, once the window shows: under SYNC an all-zero item first takes the robot's pose, and the
  // pose on screen goes to the robot. True when nothing was to be sent or it went out.
  bool sendOpenedPose();

  // Edits; each stores the new word into the item and, under SYNC, sends it with CmdSetServo.
  // A bar moved while another bar's change is still being handled is refused (false): the bar
  // goes back to where it was.
  bool movePositionBar(int channel, int position);
  bool moveSmallBar(int channel, int position);
  void enterValue(int channel, std::string_view text);
  bool moveSpeedBar(int position);
  void enterSpeed(std::string_view text);
  void releaseRadio(int channel, Radio radio);
  void chooseType(int channel, ChannelType type);

  // Link step with multiplier +1 (LinkAddBtn) or -1 (LinkSubBtn). Nothing without a chosen link
  // entry; under SYNC the new pose goes to the robot first and a failed send leaves the item as
  // it was. True when the item took the new pose.
  bool linkStep(int multiplier);
  // Teaching: the first press frees the teach channels; the second (a teach channel shows free)
  // takes the positions of every free channel into the item. True when the press did its work.
  bool teach();

  // The tool panel and the menu; each true when the board did all it was asked.
  bool getPose();                        // the robot's pose into the item
  bool sendPose();                       // the pose on screen to the robot
  bool returnToHome(bool loadIntoItem);  // the editor's StopBtn loads the home pose into the item
  bool toggleSleep();
  bool makeHomePosition();
  // Non-empty entries become channel names; then all 24 names go to the board, stopping at the
  // first failure.
  bool renameChannels(std::span<const std::string> entries);
  // Every entry that reads as a usable rate (not 0) becomes that channel's display rate; others
  // leave the rate as it was. Every channel is shown again.
  void setDisplayRates(std::span<const std::string> entries);

  // The pose record the controls stand for: speed bar, then the 24 words.
  PositionRecord poseRecord() const;
  std::uint16_t wordFromControls(int channel) const;
  // Shows a record and stores it into the item: speed bar and every word.
  void loadRecord(const PositionRecord& record);

 private:
  static std::size_t at(int index) { return static_cast<std::size_t>(index); }
  bool sync() const { return syncChecked && syncChecked() && link_ != nullptr; }
  void storeWord(int channel, std::uint16_t word);
  void sendLive(int channel, std::uint16_t word);
  void setSpeedBar(int position, bool always);
  void shown(int channel) {
    if (channelShown) channelShown(channel);
  }

  Chart& chart_;
  BoardLink* link_ = nullptr;
  std::array<ChannelState, kChannelCount> channels_{};
  std::array<std::string, kChannelCount> names_;
  int speedBar_ = kSpeedBarMin;
  int item_ = -1;
  bool busy_ = false;
  LinkSet linkActions_{};
  bool linkChosen_ = false;
};

}  // namespace pvrj
