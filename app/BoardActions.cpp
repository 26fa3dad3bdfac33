// Connecting the main window's board buttons to the transfers, and requests from other programs
// (slots to play, charts handed over) to the board and the window.
#include "app/BoardActions.h"

#include <QAction>
#include <QFontMetrics>
#include <QListWidget>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include "app/ChartCanvas.h"
#include "app/Main_u.h"
#include "app/SingleInstance.h"
#include "app/TableDlg_u.h"
#include "common/SettingsFolder.h"
#include "tools/DataDlg_u.h"

namespace pvrj {
namespace {

constexpr int kProgressWidth = 120;

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
  return c;
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
