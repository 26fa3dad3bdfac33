// The servo parameter dialog: one servo-bus servo's stretch and speed sets, punch, dead band,
// damping, reverse, protection, power-free timer and limits, loaded from and collected into its
// 17-byte parameter block. It does not talk to the board.
#pragma once

#include <QDialog>
#include <array>

#include "tools/core/ServoBus.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QScrollBar;

namespace pvrj {

class TQVSPrm : public QDialog {
  Q_OBJECT
 public:
  explicit TQVSPrm(QWidget* parent = nullptr);

  // Sets every control from the block.
  void LoadServoParameters(const ServoBlock& block);
  // Writes every control's value into block; byte 0 and bits 1 to 7 of byte 7 keep theirs.
  void CollectServoParameters(ServoBlock& block) const;
  // Shared by LimitL and LimitR: the bar's position in decimal into the edit its tag names.
  void ScrollBarChange(QScrollBar* bar);

  ServoControls controls() const;
  void setControls(const ServoControls& controls);

  QWidget* GainPanel;
  QLabel* Label8;
  QLabel* Label2;
  QLabel* Label1;
  QLabel* Label3;
  QLabel* Label4;
  std::array<QComboBox*, 3> Stretch{};  // Stretch1 to Stretch3
  std::array<QComboBox*, 3> Speed{};    // Speed1 to Speed3
  QWidget* PunchPn;
  QLabel* Label13;
  QComboBox* Punch;
  QWidget* DeadBandPn;
  QLabel* Label5;
  QComboBox* DeadBand;
  QWidget* DampingPn;
  QLabel* Label6;
  QComboBox* Damping;
  QWidget* ReversePn;
  QLabel* Label7;
  QComboBox* Reverse;
  QWidget* ProtecPnP;
  QLabel* Label9;
  QComboBox* ProtecP;
  QWidget* PowFreePnP;
  QLabel* Label10;
  QComboBox* PowFreeP;
  QWidget* LimitLPn;
  QLabel* Label11;
  QScrollBar* LimitL;
  QLineEdit* Edit7;
  QWidget* LimitRPn;
  QLabel* Label12;
  QScrollBar* LimitR;
  QLineEdit* Edit8;
};

}  // namespace pvrj
