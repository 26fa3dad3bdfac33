// The servo-bus dialog's list, its reading, editing and copying.
#include "tools/QVSDlg_u.h"

#include <QAction>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "tools/QVSPrm_u.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {
namespace {

constexpr int kListWidth = 640;
constexpr int kListHeight = 300;

// Disables a window while servos are being talked to; enabled again on every way out.
class DisabledWhileBusy {
 public:
  explicit DisabledWhileBusy(QWidget& window) : window_(window) { window_.setEnabled(false); }
  ~DisabledWhileBusy() { window_.setEnabled(true); }
  DisabledWhileBusy(const DisabledWhileBusy&) = delete;
  DisabledWhileBusy& operator=(const DisabledWhileBusy&) = delete;

 private:
  QWidget& window_;
};

}  // namespace

ServoListView::ServoListView(TQVSDlg& dialog, QWidget* parent)
    : QTreeWidget(parent), dialog_(dialog) {}

void ServoListView::dragEnterEvent(QDragEnterEvent* event) {
  // Whether this spot takes the drop is up to the dialog, spot by spot.
  if (event->source() == this) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void ServoListView::dragMoveEvent(QDragMoveEvent* event) {
  const int row = indexAt(event->position().toPoint()).row();
  if (dialog_.QVSListDragOver(event->source() == this, row)) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void ServoListView::dropEvent(QDropEvent* event) {
  const int row = indexAt(event->position().toPoint()).row();
  if (!dialog_.QVSListDragOver(event->source() == this, row)) {
    event->ignore();
    return;
  }
  // A copy: the list's own rows stay where they are, the dialog fills the target.
  event->setDropAction(Qt::CopyAction);
  event->accept();
  dialog_.QVSListDragDrop(row);
}

TQVSDlg::TQVSDlg(BoardLink& link, UserInterface& ui, TQVSPrm& prm, QWidget* parent)
    : QDialog(parent), bus_(link, ui), prm_(prm) {
  setObjectName("QVSDlg");
  setWindowTitle("QVS");
  channelName = [](int channel) { return "CH" + std::to_string(channel); };

  Panel7 = new QToolBar(this);
  Panel7->setObjectName("Panel7");
  Panel7->setToolButtonStyle(Qt::ToolButtonTextOnly);
  SioReadBtn = Panel7->addAction("読込");
  SioReadBtn->setObjectName("SioReadBtn");
  SioReadBtn->setToolTip("読込ボタン");
  if (QWidget* button = Panel7->widgetForAction(SioReadBtn)) button->setObjectName("SioReadBtn");

  QVSList = new ServoListView(*this, this);
  QVSList->setObjectName("QVSList");
  QVSList->setColumnCount(kServoListColumns);
  QStringList captions;
  for (const char* caption : kServoListCaptions) captions << caption;
  QVSList->setHeaderLabels(captions);
  QVSList->setRootIsDecorated(false);
  QVSList->setUniformRowHeights(true);
  QVSList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  QVSList->setSelectionMode(QAbstractItemView::SingleSelection);
  QVSList->setSelectionBehavior(QAbstractItemView::SelectRows);
  QVSList->setAllColumnsShowFocus(true);
  QVSList->setDragEnabled(true);
  QVSList->setAcceptDrops(true);
  QVSList->setDragDropMode(QAbstractItemView::DragDrop);
  QVSList->setDefaultDropAction(Qt::CopyAction);
  QVSList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  QVSList->header()->setStretchLastSection(false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Panel7);
  layout->addWidget(QVSList);
  resize(kListWidth, kListHeight);

  connect(SioReadBtn, &QAction::triggered, this, [this] { SioReadBtnClick(); });
  connect(QVSList, &QTreeWidget::itemDoubleClicked, this, [this] { QVSListDblClick(); });
}

std::string TQVSDlg::nameOf(int row) const {
  return channelName ? channelName(row + 1) : std::string();
}

int TQVSDlg::selectedRow() const {
  const QList<QTreeWidgetItem*> selected = QVSList->selectedItems();
  return selected.isEmpty() ? -1 : QVSList->indexOfTopLevelItem(selected.first());
}

void TQVSDlg::fitToList() {
  const int frame = 2 * QVSList->frameWidth();
  const int rows = QVSList->topLevelItemCount();
  const int rowHeight = rows > 0 ? QVSList->sizeHintForRow(0) : 0;
  QSize wanted(
      QVSList->header()->length() + frame + QVSList->verticalScrollBar()->sizeHint().width(),
      Panel7->sizeHint().height() + QVSList->header()->sizeHint().height() + rows * rowHeight +
          frame);
  if (const QScreen* shownOn = screen()) wanted = wanted.boundedTo(shownOn->availableSize());
  resize(size().expandedTo(wanted));
}

void TQVSDlg::showRow(int row, const ServoBlock* block) {
  QTreeWidgetItem* item = QVSList->topLevelItem(row);
  if (!item) return;
  const auto texts = servoRowTexts(row + 1, nameOf(row), bus_.isServoBus(row), block);
  for (int column = 0; column < kServoListColumns; ++column) {
    item->setText(column, QString::fromStdString(texts[static_cast<std::size_t>(column)]));
  }
}

bool TQVSDlg::openFromMainWindow() {
  return bus_.runDialog([this] {
    ShowServoBusChannels();
    execModal(*this);
  });
}

bool TQVSDlg::LoadServoBusChannels() {
  return bus_.LoadServoBusChannels();
}

void TQVSDlg::ShowServoBusChannels() {
  QVSList->clear();
  for (int row = 0; row < kServoBusChannels; ++row) {
    QVSList->addTopLevelItem(new QTreeWidgetItem(QVSList));
    showRow(row, nullptr);
  }
  fitToList();
}

void TQVSDlg::SioReadBtnClick() {
  if (!bus_.CheckServoBusMode()) return;
  DisabledWhileBusy busy(*this);
  QVSList->clear();
  for (int row = 0; row < kServoBusChannels; ++row) {
    QVSList->addTopLevelItem(new QTreeWidgetItem(QVSList));
    ServoBlock block{};
    const bool read = bus_.isServoBus(row) && bus_.readServo(row, block);
    showRow(row, read ? &block : nullptr);
  }
  fitToList();
}

void TQVSDlg::QVSListDblClick() {
  if (!bus_.CheckServoBusMode()) return;
  const int row = selectedRow();
  if (!bus_.isServoBus(row)) return;
  DisabledWhileBusy busy(*this);
  ServoBlock block{};
  if (!bus_.readServo(row, block)) return;
  prm_.setWindowTitle(QString("%1:%2").arg(row + 1).arg(QString::fromStdString(nameOf(row))));
  prm_.LoadServoParameters(block);
  execModal(prm_);
  // The dialog has no Cancel: whatever it shows when it closes goes to the servo.
  prm_.CollectServoParameters(block);
  showRow(row, &block);
  bus_.writeServo(row, block);
}

bool TQVSDlg::QVSListDragOver(bool fromThisList, int targetRow) const {
  return acceptsServoDrop(fromThisList, selectedRow(), targetRow, bus_.channels());
}

void TQVSDlg::QVSListDragDrop(int targetRow) {
  DisabledWhileBusy busy(*this);
  ServoBlock written{};
  // A write that was not acknowledged still leaves the row showing what was sent.
  if (bus_.copyServo(selectedRow(), targetRow, written) != ServoCopy::kReadFailed) {
    showRow(targetRow, &written);
  }
}

}  // namespace pvrj
