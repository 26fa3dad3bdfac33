// The options dialog: playback on board events, the low-voltage threshold, three behaviours and
// the servo-bus channels. Every change goes to the board as soon as the control is let go.
#pragma once

#include <QDialog>
#include <array>

#include "protocol/BoardTypes.h"
#include "tools/ToolWidgets.h"
#include "tools/core/BoardOptions.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace pvrj {

class BoardLink;
class MotionTable;

inline constexpr int kQvsBoxes = kBoardChannels;

class TOptDlg : public QDialog {
  Q_OBJECT
 public:
  TOptDlg(BoardLink& link, const MotionTable& table, QWidget* parent = nullptr);

  // The position editor's channel names and colours, taken at every load.
  ChannelLabelSource channelLabels;

  // The option button: sleep, LoadBoardOptions, wake, then the dialog modally. False when the
  // dialog was not shown.
  bool execute();
  // Reads the board's options into the controls; false when a read failed.
  bool LoadBoardOptions();
  // The controls as the core sees them.
  OptionControls controls() const;

  // Handlers.
  void CheckMouseUp(QCheckBox* box);
  void BtnListCloseUp();
  void AlarmListCloseUp();
  void AlmVoltBtnClick(int position);
  void AlmVoltBtnMouseUp();
  void QVS_CMouseUp(int channel);

  QCheckBox* Check5;
  QCheckBox* Check1;
  QCheckBox* Check7;
  QLabel* Label2;
  QComboBox* BtnList;
  QLabel* Label3;
  QComboBox* StartList;
  QLabel* Label4;
  QComboBox* AlarmList;
  QLineEdit* AlmVoltEdit;
  TUpDown* AlmVoltBtn;
  QGroupBox* GroupBox6;
  std::array<QCheckBox*, kQvsBoxes> QVS_C{};

 private:
  void showControls(const OptionControls& c);
  // The loaded controls and the position editor's names and colours on the channel boxes.
  void showLoaded(const OptionControls& c);
  void fillLists();

  BoardLink& link_;
  const MotionTable& table_;
};

}  // namespace pvrj
