// The motion table window's controls, rows and handlers.
#include "app/TableDlg_u.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ChartCanvas.h"
#include "protocol/BoardLink.h"
#include "protocol/EntryEditing.h"
#include "tools/DataDlg_u.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {
namespace {

constexpr int kWindowWidth = 452;
constexpr int kWindowHeight = 524;
constexpr int kPanelHeight = 20;
constexpr int kReadButtonWidth = 33;
constexpr int kNoWidth = 30;
constexpr int kDateWidth = 100;
constexpr int kControlWidth = 60;
enum Column { kColNo, kColName, kColCount, kColDate, kColControl };
// The row's table number, kept on the item so a drag knows its slot.
constexpr int kSlotRole = Qt::UserRole + 1;

void fillItem(QTreeWidgetItem* item, const TableRow& row, int n) {
  item->setText(kColNo, QString::fromStdString(row.caption));
  item->setText(kColName, QString::fromStdString(row.name));
  item->setText(kColCount, QString::fromStdString(row.count));
  item->setText(kColDate, QString::fromStdString(row.date));
  item->setText(kColControl, QString::fromStdString(row.control));
  item->setData(kColNo, kSlotRole, n);
}

}  // namespace

MotionTableList::MotionTableList(QWidget* parent) : QTreeWidget(parent) {}

QStringList MotionTableList::mimeTypes() const {
  return {kMotionRowMime};
}

QMimeData* MotionTableList::mimeData(const QList<QTreeWidgetItem*>& items) const {
  if (items.isEmpty()) return nullptr;
  const QTreeWidgetItem* item = items.front();
  int slot = item->data(kColNo, kSlotRole).toInt();
  // The canvas names the new item "caption name", e.g. "M3 WALK".
  QString caption = item->text(kColNo) + " " + item->text(kColName);
  auto* mime = new QMimeData;
  mime->setData(kMotionRowMime, encodeMotionRow(slot, caption));
  return mime;
}

TTableDlg::TTableDlg(MotionTable& table, Chart& chart, TDataDlg& dataDlg, BoardLink* link,
                     QWidget* parent)
    : QDialog(parent), table_(table), chart_(chart), dataDlg_(dataDlg), link_(link) {
  setObjectName("TableDlg");
  setWindowTitle("DataTable");
  resize(kWindowWidth, kWindowHeight);

  Panel7 = new QWidget(this);
  Panel7->setObjectName("Panel7");
  Panel7->setFixedHeight(kPanelHeight);
  MotReadBtn = new QToolButton(Panel7);
  MotReadBtn->setObjectName("MotReadBtn");
  MotReadBtn->setAutoRaise(true);
  MotReadBtn->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
  MotReadBtn->setToolTip("読込");
  MotReadBtn->setFixedSize(kReadButtonWidth, kPanelHeight);
  auto* panelLayout = new QHBoxLayout(Panel7);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  panelLayout->addWidget(MotReadBtn);
  panelLayout->addStretch();

  ListView = new MotionTableList(this);
  ListView->setObjectName("ListView");
  ListView->setColumnCount(5);
  ListView->setHeaderLabels({"No", "Name", "Count", "Date", "Control"});
  ListView->setRootIsDecorated(false);
  ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView->setDragEnabled(true);
  ListView->setDragDropMode(QAbstractItemView::DragOnly);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Panel7);
  layout->addWidget(ListView);

  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  runDataDialog = [](TDataDlg& dialog) { return execModal(dialog); };
  table_.onRowChanged = [this](int row) { rowChanged(row); };
  rowChanged(-1);
  for (int n = 0; n < table_.rowCount(); ++n) rowChanged(n);
  fitColumns();

  connect(MotReadBtn, &QToolButton::clicked, this, [this] { MotReadBtnClick(); });
  connect(ListView, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    ListViewDblClick(ListView->indexOfTopLevelItem(item));
  });
  ListView->setFocus();
}

void TTableDlg::fitColumns() {
  // Each column at least its usual width and as wide as its widest text ("M80" was cut to "M…" at
  // 30 pixels); the name takes what is left of the window (about 200 pixels at its first size),
  // so the last column is never cut off.
  const QFontMetrics metrics(ListView->font());
  const int margin =
      2 * (ListView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ListView) + 1);
  QHeaderView* header = ListView->header();
  auto fit = [&](int column, int nominal, QStringList texts) {
    int width = std::max(nominal, header->sectionSizeHint(column));
    for (int n = 0; n < table_.rowCount(); ++n) texts << ListView->topLevelItem(n)->text(column);
    for (const QString& text : texts)
      width = std::max(width, metrics.horizontalAdvance(text) + margin);
    header->setSectionResizeMode(column, QHeaderView::Interactive);
    ListView->setColumnWidth(column, width);
  };
  fit(kColNo, kNoWidth, {});
  fit(kColCount, 0, {QStringLiteral("255")});
  fit(kColDate, kDateWidth, {QString::fromStdString(FormatTableDate(12, 31, 23, 59))});
  fit(kColControl, kControlWidth, {QStringLiteral("65535")});
  header->setStretchLastSection(false);
  header->setSectionResizeMode(kColName, QHeaderView::Stretch);
}

void TTableDlg::rowChanged(int row) {
  if (row < 0) {
    ListView->clear();
    return;
  }
  const TableRow& data = table_.row(row);
  // Rows come in order; a row past the end is appended.
  while (ListView->topLevelItemCount() <= row) ListView->addTopLevelItem(new QTreeWidgetItem);
  fillItem(ListView->topLevelItem(row), data, row);
}

void TTableDlg::MotReadBtnClick() {
  if (link_) readMotionTable(*link_, table_);
}

void TTableDlg::ListViewDblClick(int n) {
  if (!link_ || n < 0 || n >= table_.rowCount() || n >= kTableSlots) return;
  ListView->setCurrentItem(ListView->topLevelItem(n));
  editTableEntry(*link_, table_, n, [this](int row) -> std::optional<EntryEdit> {
    dataDlg_.LoadDataProperties(row, row >= kFirstScenarioSlot ? kScenarioChart : kMotionChart);
    if (runDataDialog(dataDlg_) != QDialog::Accepted) return std::nullopt;
    return EntryEdit{dataDlg_.MotName->text().toStdString(), dataDlg_.CollectPortMask(),
                     dataDlg_.controlValue(chart_.Ctrl & 0xFFFF)};
  });
}

}  // namespace pvrj
