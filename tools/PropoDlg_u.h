// The receiver dialog: the references of the receiver's four channels, their live readings and
// the button input the board streams, and a strip chart of the channels.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <array>
#include <functional>

#include "tools/core/ReceiverSettings.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace pvrj {

class BoardLink;
class TStripChart;
class UserInterface;

class TPropoDlg : public QDialog {
  Q_OBJECT
 public:
  TPropoDlg(BoardLink& link, UserInterface& ui, QWidget* parent = nullptr);

  // The receiver button: stream on, load, show, the dialog modally, store, stream off; the
  // status line tells when the data cannot be called up. False when the dialog was not shown.
  bool execute();
  bool LoadReceiverReferences();
  void ShowReceiverValues();
  bool StoreReceiverReferences();
  // The streamed report: kept and shown whether or not the dialog is open; plotted while it is.
  void showReceiverReport(const ReceiverReport& report);

  // The plots' clock in seconds; tests give the board's own.
  std::function<double()> sampleClock;

  const ReceiverSettings& settings() const { return settings_; }

  // Handlers; channel is 0 to 3 (the controls' tag).
  void PScrBarScroll(int channel, int position, bool ended);
  void ACBtnClick(int channel);

  // Group n (PA n) is GroupBox2, GroupBox1, GroupBox3, GroupBox4 for n = 1 to 4.
  std::array<QGroupBox*, kReceiverChannelCount> groups{};
  std::array<QLineEdit*, kReceiverChannelCount> PCal{};
  std::array<QScrollBar*, kReceiverChannelCount> PScrBar{};
  std::array<QPushButton*, kReceiverChannelCount> ACBtn{};
  std::array<QLineEdit*, kReceiverChannelCount> PAdc{};
  std::array<QLineEdit*, kReceiverChannelCount> PRif{};
  QGroupBox* GroupBox5;
  QLabel* Label1;
  QLineEdit* BEdit;
  TStripChart* plot;

 private:
  void showLevels();

  BoardLink& link_;
  UserInterface& ui_;
  ReceiverSettings settings_;
  bool readingsFresh_ = false;  // a report came since the references were loaded
  QElapsedTimer clock_;
  std::array<int, kReceiverChannelCount> levels_{};
};

}  // namespace pvrj
