// The main window's board work: the transfer and playback buttons, the compile button, the motion
// table and data dialog, the progress bar, and play requests from other programs.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "compiler/Compile.h"
#include "compiler/Transfer.h"
#include "protocol/MotionTable.h"

class QAction;
class QLocalServer;
class QProgressBar;

namespace pvrj {

class TPivora3;
class TDataDlg;
class TTableDlg;

// The per-user name of the local socket on which the running editor takes slot numbers to play.
QString playSocketName();
// One request on that socket: the slot number in decimal, as the 32-bit value another program
// posts; nothing for text that is no such number.
std::optional<std::uint32_t> parsePlayRequest(const QByteArray& line);

class BoardActions : public QObject {
  Q_OBJECT
 public:
  // socketName: where to listen for play requests; empty for playSocketName().
  explicit BoardActions(TPivora3& window, const QString& socketName = {});
  ~BoardActions() override;

  MotionTable& table() { return table_; }
  CompilerState& compiler() { return state_; }
  TTableDlg& tableDlg() { return *tableDlg_; }
  TDataDlg& dataDlg() { return *dataDlg_; }
  QProgressBar* progressBar() const { return progress_; }
  bool listening() const;

  // The buttons.
  void CompileBtnClick();
  void HomePosBtnClick();
  void MotWriteBtnClick();
  void MotReadBtnClick();
  void MotDelBtnClick();
  void MotStpBtnClick();
  void SpeedButton1Click();
  void MotRunBtnClick();
  void TableBtnClick();
  // A double click on empty canvas: the data dialog for the chart's header.
  void Image1ChartData();
  // Another program asked for a slot to be played.
  void playRequest(std::uint32_t slot);

 private:
  TransferContext context();
  void showProgress(int done, int total);
  // The dump page and the listing table from the compiler state.
  void showCompilerPages();
  void showEditCaption();
  void acceptPlayConnection();
  // Handles, one per event, the whole messages left in the receive buffer.
  void scheduleWaitingMessage();

  TPivora3& window_;
  MotionTable table_;
  CompilerState state_;
  std::unique_ptr<TDataDlg> dataDlg_;
  std::unique_ptr<TTableDlg> tableDlg_;
  QProgressBar* progress_ = nullptr;
  QLocalServer* server_ = nullptr;
};

}  // namespace pvrj
