// Connecting the main window's board buttons to the transfers, and requests from other programs
// (slots to play, charts handed over) to the board and the window.
#include "app/BoardActions.h"

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QListWidget>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include "app/ChartCanvas.h"
#include "app/FlowToolBar.h"
#include "app/Main_u.h"
#include "app/SingleInstance.h"
#include "app/TableDlg_u.h"
#include "common/Settings.h"
#include "common/SettingsFolder.h"
#include "compiler/Safekeeping.h"
#include "tools/DataDlg_u.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {
namespace {

constexpr int kProgressWidth = 120;

// Board image files, and the restore's choice of what to write back (in RestoreScope's order).
const QString kImageFilter = QStringLiteral("ボードイメージ (*.pvb)");
const QString kAllFilesFilter = QStringLiteral("すべてのファイル (*)");
constexpr const char* kImageExtension = ".pvb";
constexpr const char* kRestoreTitle = "ボードイメージの復元";
constexpr const char* kRestoreLabel = "から書き戻す内容を選択してください";  // file name +
constexpr const char* kRestoreChoices = "\"すべて\",\"モーションとシナリオ\",\"設定\"";
constexpr RestoreScope kRestoreScopes[] = {RestoreScope::kAll, RestoreScope::kMotions,
                                           RestoreScope::kSettings};

}  // namespace

BoardActions::BoardActions(TPivora3& window, const QString& socketPath)
    : QObject(&window), window_(window) {
  BoardLink& link = window_.boardLink();
  dataDlg_ = std::make_unique<TDataDlg>(window_.chart(), table_, &link);
  tableDlg_ = std::make_unique<TTableDlg>(table_, window_.chart(), *dataDlg_, &link);
  link.onTableEntryChanged = [this](int n, const TableEntryData& entry) {
    table_.ShowTableEntry(entry, n, false);
  };
  // The receiver's button value goes into the data dialog's control box, open or not.
  BoardMessages& messages = window_.boardMessages();
  auto previous = messages.onReceiverReport;
  messages.onReceiverReport = [this, previous](const ReceiverReport& report) {
    if (previous) previous(report);
    dataDlg_->showCounterValue(report.buttonValue);
  };

  // The port raises one event for everything that arrived meanwhile, and each event handles one
  // message; a message still waiting gets an event of its own, so the last report of a burst is
  // not held back until the board next sends something.
  if (window_.serialPort) {
    auto receive = window_.serialPort->OnReceive;
    window_.serialPort->OnReceive = [this, receive](TCustomCommX& sender, std::int32_t size) {
      if (receive) receive(sender, size);
      scheduleWaitingMessage();
    };
  }

  progress_ = new QProgressBar(window_.statusPanels);
  progress_->setObjectName(QStringLiteral("TransferProgress"));
  progress_->setFixedWidth(kProgressWidth);
  progress_->setTextVisible(true);
  progress_->hide();
  window_.statusPanels->addPermanentWidget(progress_);

  connect(window_.CompileBtn, &QAction::triggered, this, [this] { CompileBtnClick(); });
  connect(window_.HomePosBtn, &QAction::triggered, this, [this] { HomePosBtnClick(); });
  connect(window_.MotWriteBtn, &QAction::triggered, this, [this] { MotWriteBtnClick(); });
  connect(window_.MotReadBtn, &QAction::triggered, this, [this] { MotReadBtnClick(); });
  connect(window_.MotDelBtn, &QAction::triggered, this, [this] { MotDelBtnClick(); });
  connect(window_.MotStpBtn, &QAction::triggered, this, [this] { MotStpBtnClick(); });
  connect(window_.pauseBtn, &QAction::triggered, this, [this] { SpeedButton1Click(); });
  connect(window_.MotRunBtn, &QAction::triggered, this, [this] { MotRunBtnClick(); });
  connect(window_.TableBtn, &QAction::triggered, this, [this] { TableBtnClick(); });
  connect(window_.canvas, &ChartCanvas::chartDataRequested, this, [this] { Image1ChartData(); });

  auto imageButton = [this](const char* name, const QString& caption, const QString& hint) {
    QAction* action = window_.commandBar->addButton(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(hint);
    if (QWidget* button = window_.commandBar->widgetForAction(action)) {
      button->setObjectName(action->objectName());
      button->setToolTip(hint);
    }
    return action;
  };
  BackupBtn = imageButton("BackupBtn", QStringLiteral("バックアップ"),
                          QStringLiteral("ボードの内容をファイルに保存するボタン"));
  RestoreBtn = imageButton("RestoreBtn", QStringLiteral("復元"),
                           QStringLiteral("保存したボードの内容を書き戻すボタン"));
  connect(BackupBtn, &QAction::triggered, this, [this] { BackupBtnClick(); });
  connect(RestoreBtn, &QAction::triggered, this, [this] { RestoreBtnClick(); });

  requests_ = new RequestSocket(
      socketPath.isEmpty() ? requestSocketPath(settingsFolder()) : socketPath, this);
  requests_->busy = [this] { return boardBusy(); };
  requests_->play = [this](std::uint32_t slot) { playRequest(slot); };
  requests_->open = [this](const QString& path) { window_.openHandedOverFile(path); };
  requests_->showStatus = [this](const std::string& text) { window_.showStatus(text); };
  // Requests stop the moment the program starts to end.
  connect(&window_, &TPivora3::shuttingDown, requests_, &RequestSocket::close);
}

BoardActions::~BoardActions() = default;

bool BoardActions::listening() const {
  return requests_->listening();
}

bool BoardActions::boardBusy() {
  return window_.boardLink().exchanging();
}

TransferContext BoardActions::context() {
  TransferContext c{window_.boardLink(),
                    window_.ui(),
                    window_.chart(),
                    state_,
                    table_,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr};
  c.progress = [this](int done, int total) { showProgress(done, total); };
  c.nameChanged = [this](const std::string&) { showEditCaption(); };
  c.redraw = [this] { window_.canvas->redraw(); };
  c.textWidth = [this](const std::string& text) {
    return QFontMetrics(window_.font()).horizontalAdvance(QString::fromStdString(text));
  };
  c.safety = safety();
  return c;
}

WriteSafety BoardActions::safety() const {
  const SafetySettings settings = readSafetySettings(window_.settingsPath());
  WriteSafety s;
  s.verify = settings.verifyWrites;
  if (settings.keepOverwritten) s.keepFolder = overwrittenFolder();
  return s;
}

ImageTransfer BoardActions::imageTransfer() {
  ImageTransfer t{window_.boardLink(), window_.ui(), nullptr, safety()};
  t.progress = [this](int done, int total) { showProgress(done, total); };
  return t;
}

QString BoardActions::askImagePath(bool save) {
  QFileDialog dialog(&window_);
  dialog.setObjectName(save ? QStringLiteral("BackupDialog") : QStringLiteral("RestoreDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters({kImageFilter, kAllFilesFilter});
  dialog.selectNameFilter(kImageFilter);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (save) {
    dialog.setDefaultSuffix(QString::fromLatin1(kImageExtension + 1));
    dialog.selectFile(QStringLiteral("board-") +
                      QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                      QString::fromLatin1(kImageExtension));
  }
  if (execModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

void BoardActions::BackupBtnClick() {
  const QString path = askImagePath(true);
  if (path.isEmpty()) return;
  ImageTransfer t = imageTransfer();
  backupBoardToFile(t, path.toStdString());
}

void BoardActions::RestoreBtnClick() {
  const QString path = askImagePath(false);
  if (path.isEmpty()) return;
  // A damaged or foreign file is refused before anything is asked or sent.
  Result<BoardImage> image = loadBoardImage(path.toStdString());
  if (!image) {
    window_.ui().ShowMessageBox(kMsgError, kBtnOk,
                                imageRefusedMessage(path.toStdString(), image.message()));
    return;
  }
  Prompt prompt;
  prompt.PromptTitle = kRestoreTitle;
  prompt.PromptText = QFileInfo(path).fileName().toStdString() + " " + kRestoreLabel;
  prompt.PromptItems = kRestoreChoices;
  prompt.PromptIndex = 0;
  if (!window_.ui().NumberPrompt(prompt) || prompt.PromptIndex < 0 ||
      prompt.PromptIndex >= static_cast<int>(std::size(kRestoreScopes)))
    return;
  ImageTransfer t = imageTransfer();
  if (restoreBoard(t, image.value(), kRestoreScopes[prompt.PromptIndex]))
    window_.showStatus(kStatusRestored + path.toStdString());
}

void BoardActions::scheduleWaitingMessage() {
  if (!window_.boardMessages().hasWholeMessage()) return;
  QTimer::singleShot(0, this, [this] {
    if (window_.boardMessages().handleOneMessage()) scheduleWaitingMessage();
  });
}

void BoardActions::showProgress(int done, int total) {
  if (total <= 0) {
    progress_->hide();
    return;
  }
  progress_->setRange(0, total);
  progress_->setValue(done);
  progress_->show();
}

void BoardActions::showEditCaption() {
  window_.pages->setTabText(0,
                            QStringLiteral("EDIT ") + QString::fromStdString(window_.chart().Name));
}

void BoardActions::showCompilerPages() {
  window_.dumpView->clear();
  for (const std::string& row : state_.dumpRows)
    window_.dumpView->addItem(QString::fromStdString(row));
  window_.listingView->clear();
  for (const ListingRow& row : state_.listingRows) {
    auto* item = new QTreeWidgetItem(window_.listingView);
    const std::string* fields[] = {&row.number, &row.label, &row.operation, &row.operand,
                                   &row.comment};
    for (int column = 0; column < window_.listingView->columnCount() && column < 5; ++column)
      item->setText(column, QString::fromStdString(*fields[column]));
  }
}

void BoardActions::CompileBtnClick() {
  compileChart(window_.chart(), window_.ui(), state_);
  showCompilerPages();
}

void BoardActions::HomePosBtnClick() {
  homePositionButton(window_.boardLink(), window_.ui());
}

void BoardActions::MotWriteBtnClick() {
  // A board write is where a chart is most at risk: it is autosaved first.
  window_.recordChange();
  window_.autosaveNow();
  TransferContext c = context();
  writeChartToBoard(c);
  showCompilerPages();
}

void BoardActions::MotReadBtnClick() {
  window_.recordChange();
  TransferContext c = context();
  readChartFromBoard(c);
  showCompilerPages();
  window_.recordChange();  // the chart read back is one step
}

void BoardActions::MotDelBtnClick() {
  TransferContext c = context();
  deleteFromBoard(c);
}

void BoardActions::MotStpBtnClick() {
  stopBoard(window_.boardLink(), window_.ui());
}

void BoardActions::SpeedButton1Click() {
  pauseBoard(window_.boardLink(), window_.ui());
}

void BoardActions::MotRunBtnClick() {
  TransferContext c = context();
  playOnBoard(c);
}

void BoardActions::TableBtnClick() {
  tableDlg_->setVisible(!tableDlg_->isVisible());
}

void BoardActions::Image1ChartData() {
  if (!dataDlg_->editChartHeader()) return;
  showEditCaption();
  window_.canvas->redraw();
  window_.recordChange();
}

void BoardActions::playRequest(std::uint32_t slot) {
  playSlotRequest(window_.boardLink(), window_.ui(), slot);
}

}  // namespace pvrj
