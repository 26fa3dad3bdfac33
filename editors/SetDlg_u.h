// The setting editor: the operation a setting item performs, or its per-channel mixing table.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>

#include "chart/Chart.h"
#include "editors/core/SettingWords.h"
#include "tools/ToolWidgets.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QScrollBar;
class QTabWidget;

namespace pvrj {

class BoardLink;
class MotionTable;

inline constexpr int kLoopCountInitial = 10;

class TSetDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TSetDlg(Chart& chart, QWidget* parent = nullptr);

  // Where the editor finds what other windows own; each may stay unset.
  BoardLink* link = nullptr;
  const MotionTable* motionTable = nullptr;
  std::function<bool()> syncOn;              // the main window's SYNC box
  std::function<SensorTable()> sensorTable;  // the analog dialog's sensor table
  // The position editor's channel labels; unset, the rows show "CH" + n.
  std::function<ChannelLabels()> channelLabels;

  // Shows the window for item `item` and sets the controls from its words.
  void openItem(int item);
  int item() const { return item_; }

  // Handlers.
  void RadBtn1Click();
  void RadBtn2Click();
  void RadBtn3Click();
  void RadBtn4Click();
  void RadBtn6Click();
  void RadBtn7Click();
  void RadBtn8Click();
  void NumBarChange();
  void Edit1Enter();  // Enter key in Edit1
  void Edit2Enter();  // Enter key in Edit2, or Edit2 gaining or losing the focus
  void AdListCloseUp();
  void SckMouseUp();
  void MixCloseUp();  // any source or ratio list of the mixing page closed up

  QTabWidget* pages;
  QWidget* otherPage;
  QWidget* mixingPage;
  QRadioButton* RadBtn1;
  QRadioButton* RadBtn2;
  QRadioButton* RadBtn3;
  QRadioButton* RadBtn4;
  QRadioButton* RadBtn6;
  QRadioButton* RadBtn7;
  QRadioButton* RadBtn8;
  QScrollBar* NumBar;
  QLineEdit* Edit1;
  QLineEdit* Edit2;
  QComboBox* AdList;
  std::array<QCheckBox*, kSensorBoxes> Sck{};
  std::array<QLabel*, kChannelCount> MixLabel{};
  std::array<QComboBox*, kChannelCount> MixNum{};
  std::array<QComboBox*, kChannelCount> MixList{};

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildOtherPage();
  void buildMixingPage();
  // Checks one operation button and clears the others (nullptr clears all).
  void checkOperation(QRadioButton* button);
  void setNumBar(int position);
  void writeAll(std::uint16_t word);
  void sendLive();
  unsigned sensorMask() const;
  void showSensorCaptions();
  void showMixingLabels();
  void resetControls();
  void showEntry(const SettingEntry& entry);
  ChartItem* editedItem();

  Chart& chart_;
  int item_ = -1;
  bool updating_ = false;  // controls set by the program, not the user
};

}  // namespace pvrj
