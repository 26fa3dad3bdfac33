// The data dialog: the name, control value and used channels of the open chart or of one entry
// of the board's motion table.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

#include "chart/Chart.h"
#include "editors/core/Desktop.h"
#include "protocol/MotionTable.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pvrj {

class BoardLink;

// One box per servo channel.
inline constexpr int kPortBoxes = kBoardChannels;

class TDataDlg : public QDialog {
  Q_OBJECT
 public:
  // link may be null while no board link exists; the board buttons then do nothing.
  TDataDlg(Chart& chart, MotionTable& table, BoardLink* link, QWidget* parent = nullptr);

  void setLink(BoardLink* link) { link_ = link; }

  // Fills the dialog: index -1 the chart's header, 0 to 84 that table row (with the channel mask
  // the table showed last). kind 0 (motion) enables the channel boxes; any other kind clears and
  // disables them.
  void LoadDataProperties(int index, int kind);
  // The mask of the checked boxes, bit 0 = CH1.
  std::uint32_t CollectPortMask() const;
  // Box captions: the channel names the position editor keeps (CH1..CH24 until it supplies them).
  void setChannelNames(const std::array<QString, kPortBoxes>& names);
  // The position editor's channel names and label colours, taken each time the dialog loads.
  std::function<std::array<ChannelLabel, kPortBoxes>()> channelLabels;
  // Shows names and colours on the channel boxes.
  void showChannelLabels(const std::array<ChannelLabel, kPortBoxes>& labels);
  // The receiver's button value that arrived unprompted.
  void showCounterValue(std::uint16_t value);

  void Button1Click();  // OK: clean the name, accept
  void Button2Click();  // Cancel: receiver stream off, reject
  void Button3Click();  // "受信": the counter from the board

  // The canvas double click: bit 5 cleared around the dialog, the chart's header edited on OK.
  // True when the chart was changed.
  bool editChartHeader();
  // The control value typed, or fallback when the text is no 16-bit decimal number.
  int controlValue(int fallback) const;

  QLabel* Label1;
  QLineEdit* MotName;
  QLabel* Label2;
  QLineEdit* CntEdit;
  QPushButton* Button3;
  QLabel* PortLabel;
  std::array<QCheckBox*, kPortBoxes> PE{};
  QPushButton* Button1;
  QPushButton* Button2;

 private:
  Chart& chart_;
  MotionTable& table_;
  BoardLink* link_;
};

}  // namespace pvrj
