// The analog dialog: references, real-time mixing and sensor interrupts of the three analog
// inputs, the live readings and voltages the board streams, and a strip chart of them.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <array>
#include <functional>

#include "tools/ToolWidgets.h"
#include "tools/core/AnalogSettings.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTabBar;

namespace pvrj {

class BoardLink;
class BoardMessages;
class MotionTable;
class TStripChart;
struct AnalogReport;

// Traces of the analog plot, in the order of their values.
enum AnalogTrace : int { kTraceBattery = 0, kTraceAd1, kTraceAd2, kTraceAd3, kAnalogTraces };

class TAdDlg : public QDialog {
  Q_OBJECT
 public:
  TAdDlg(BoardLink& link, BoardMessages& messages, const MotionTable& table,
         QWidget* parent = nullptr);

  // The position editor's channel names and colours, taken at every load.
  ChannelLabelSource channelLabels;

  // The analog button: load, stream on, the dialog modally, stream off, store. False when the
  // dialog was not shown.
  bool execute();
  bool LoadAnalogSettings();
  bool StoreAnalogSettings();
  // The streamed report: voltages, measured values, the reference panel while shown, the plot.
  void showAnalogReport(const AnalogReport& report);

  // The plots' clock in seconds; tests give the board's own.
  std::function<double()> sampleClock;

  const AnalogSettings& settings() const { return settings_; }
  // The sensor table other windows read (the setting editor's captions).
  const SensorSettings& sensorTable() const { return settings_.sensors; }
  int selectedInput() const;

  // Handlers.
  void AdChannelChange(int index);
  void ComboBoxCloseUp(int channel);  // 1 to 24
  void ScrollBar1Scroll(int position);
  void AutoCalBtnClick();
  void MotListCloseUp(int row);  // the list's tag: 0 or 1
  void SensScrollScroll(int row, int position, bool ended);

  QTabBar* AdChannel;
  QGroupBox* GroupBox1;
  std::array<QLabel*, kBoardChannels> PortName{};
  std::array<QComboBox*, kBoardChannels> ComboBox{};
  QGroupBox* GroupBox2;
  QLabel* Label2;
  QLineEdit* CalEdit;
  QScrollBar* ScrollBar1;
  QLabel* Label3;
  QLineEdit* AdcEdit;
  QLabel* Label1;
  QLineEdit* RifEdit;
  QPushButton* AutoCalBtn;
  QGroupBox* GroupBox3;
  // Row 0: Label4 SensScroll1 Edit1 Label5 MotList1 Label6; row 1: Label7 SensScroll2 Edit2
  // Label9 MotList2 Label8.
  std::array<QLabel*, kSensorRows> thresholdLabels{};  // Label4, Label7: "変化量が"
  std::array<QScrollBar*, kSensorRows> SensScroll{};
  std::array<QLineEdit*, kSensorRows> thresholdEdits{};  // Edit1, Edit2
  std::array<QLabel*, kSensorRows> exceedLabels{};       // Label5, Label9: "を超えたら"
  std::array<QComboBox*, kSensorRows> MotList{};
  std::array<QLabel*, kSensorRows> playLabels{};  // Label6, Label8: "を再生する"
  QFrame* Panel2;
  QLineEdit* Edit3;
  QLineEdit* Edit4;
  QLineEdit* Edit5;
  QLineEdit* Edit6;
  TStripChart* plot;

 private:
  void refreshReferencePanel();
  void showMixingRow();
  void showSensorRows();
  void fillMotionLists();
  void showLevels();

  BoardLink& link_;
  BoardMessages& messages_;
  const MotionTable& table_;
  AnalogSettings settings_;
  QElapsedTimer clock_;
  int referenceLevel_ = -1;
  std::array<int, kSensorRows> thresholdLevels_{};
  bool showing_ = false;        // controls being filled: their own signals send nothing
  bool readingsFresh_ = false;  // a report came since the settings were loaded
};

}  // namespace pvrj
