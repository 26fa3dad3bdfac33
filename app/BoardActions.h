// The main window's board work: the transfer and playback buttons, the compile button, the motion
// table and data dialog, the progress bar, and play requests from other programs.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/RequestSocket.h"
#include "compiler/BoardImage.h"
#include "compiler/Compile.h"
#include "compiler/Transfer.h"
#include "protocol/MotionTable.h"

class QAction;
class QProgressBar;

namespace pvrj {

class TPivora3;
class TDataDlg;
class TTableDlg;

class BoardActions : public QObject {
  Q_OBJECT
 public:
  // socketPath: where to listen for requests from other programs; empty for the per-user
  // requestSocketPath().
  explicit BoardActions(TPivora3& window, const QString& socketPath = {});
  ~BoardActions() override;

  MotionTable& table() { return table_; }
  CompilerState& compiler() { return state_; }
  TTableDlg& tableDlg() { return *tableDlg_; }
  TDataDlg& dataDlg() { return *dataDlg_; }
  QProgressBar* progressBar() const { return progress_; }
  bool listening() const;
  RequestSocket& requestSocket() { return *requests_; }

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
  // The board image buttons at the end of the command tool bar: everything the board holds into
  // a file, and a file written back.
  void BackupBtnClick();
  void RestoreBtnClick();
  QAction* BackupBtn = nullptr;
  QAction* RestoreBtn = nullptr;

 private:
  TransferContext context();
  // How writes check and keep, as "PVR3J.ini" says now.
  WriteSafety safety() const;
  ImageTransfer imageTransfer();
  // The file dialog of the image buttons; empty when cancelled.
  QString askImagePath(bool save);
  void showProgress(int done, int total);
  // The dump page and the listing table from the compiler state.
  void showCompilerPages();
  void showEditCaption();
  // Board work runs: a play from another program must wait.
  bool boardBusy();
  // Handles, one per event, the whole messages left in the receive buffer.
  void scheduleWaitingMessage();

  TPivora3& window_;
  MotionTable table_;
  CompilerState state_;
  std::unique_ptr<TDataDlg> dataDlg_;
  std::unique_ptr<TTableDlg> tableDlg_;
  QProgressBar* progress_ = nullptr;
  RequestSocket* requests_ = nullptr;
};

}  // namespace pvrj
