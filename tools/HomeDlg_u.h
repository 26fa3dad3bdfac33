// The trim dialog: 24 channel rows of label, offset box and bar, arranged as the position editor
// arranges its channels, and the load and save buttons of the trim file.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>

#include "tools/ToolWidgets.h"
#include "tools/core/Trims.h"

class QFrame;
class QLabel;
class QLineEdit;
class QScrollBar;
class QToolButton;

namespace pvrj {

class BoardLink;

inline constexpr int kTrimRows = kBoardChannels;
// The trim file filters of the open and save dialogs, the chart file's first.
inline constexpr const char* kTrimChartFilter = "VLBファイル (*.VLB)";
inline constexpr const char* kTrimAllFilter = "全てのファイルを表示する (*)";

class THomeDlg : public QDialog {
  Q_OBJECT
 public:
  THomeDlg(BoardLink& link, UserInterface& ui, QWidget* parent = nullptr);

  // The position editor's arrangement, copied at every opening (unset: the rows stay as built).
  EditorArrangementSource arrangement;
  // The file dialogs; tests answer them. Empty path: cancelled. chartFilter: the first filter.
  std::function<QString()> chooseOpenPath;
  std::function<QString(bool& chartFilter)> chooseSavePath;

  // The trim button: sleep, read, show, wake, then the dialog modally, then the trims written on
  // closing. False when the dialog was not shown.
  bool execute();

  void ResetTrimRanges();
  void ShowTrimBlock(const TrimValues& values);
  TrimValues CollectTrimBlock() const;

  // Handlers; channel is 1 to 24.
  void ScrollScroll(int channel, int position);
  void EditKeyDown(int channel, int key);
  void OpenBtnClick();
  void SaveBtnClick();

  std::array<QFrame*, kTrimRows> Panel{};
  std::array<QLabel*, kTrimRows> Label{};
  std::array<QLineEdit*, kTrimRows> Edit{};
  std::array<QScrollBar*, kTrimRows> Scroll{};
  QFrame* Panel26;
  QToolButton* OpenBtn;
  QToolButton* SaveBtn;

 private:
  void showRow(int index);
  void copyArrangement();
  QString askOpenPath();
  QString askSavePath(bool& chartFilter);

  BoardLink& link_;
  UserInterface& ui_;
  TrimRows rows_;
  bool showing_ = false;  // rows being filled: the bars' own signals send nothing
};

}  // namespace pvrj
