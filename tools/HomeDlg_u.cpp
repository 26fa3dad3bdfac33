// The trim dialog's controls and handlers; the trim rules and board sequences are in tools/core.
#include "tools/HomeDlg_u.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QToolButton>
#include <algorithm>

#include "common/Numbers.h"
#include "protocol/BoardLink.h"
#include "ui/Colors.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {
namespace {

// The rows have the size and inner layout of the position editor's channel panels.
constexpr int kPanelWidth = 250;
constexpr int kPanelHeight = 23;
constexpr int kInner = 2;
constexpr int kControlHeight = kPanelHeight - 2 * kInner;
constexpr int kLabelWidth = 56;
constexpr int kEditLeft = kInner + kLabelWidth;
constexpr int kEditWidth = 46;
constexpr int kBarLeft = kEditLeft + kEditWidth + 2;
constexpr int kBarWidth = kPanelWidth - kBarLeft - kInner - 1;
constexpr int kButtonWidth = 44;
constexpr int kEnterKey = 13;
constexpr int kRowsPerColumn = 12;
constexpr int kColumnWidth = 254;
constexpr int kRowHeight = 24;

}  // namespace

THomeDlg::THomeDlg(BoardLink& link, UserInterface& ui, QWidget* parent)
    : QDialog(parent), link_(link), ui_(ui) {
  setObjectName(QStringLiteral("HomeDlg"));
  setWindowTitle(QStringLiteral("HomeDlg"));
  rows_ = trimRows([] {
    TrimValues v;
    v.fill(kTrimCentre);
    return v;
  }());

  for (int n = 1; n <= kTrimRows; ++n) {
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel%1").arg(n));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(((n - 1) / kRowsPerColumn) * kColumnWidth,
                       ((n - 1) % kRowsPerColumn) * kRowHeight, kPanelWidth, kPanelHeight);
    auto* label = new QLabel(QStringLiteral("CH%1").arg(n), panel);
    label->setObjectName(QStringLiteral("Label%1").arg(n));
    label->setGeometry(kInner + 2, kInner, kLabelWidth - 2, kControlHeight);
    auto* edit = new QLineEdit(QStringLiteral("0"), panel);
    edit->setObjectName(QStringLiteral("Edit%1").arg(n));
    edit->setProperty("tag", n);
    edit->setGeometry(kEditLeft, kInner, kEditWidth, kControlHeight);
    auto* bar = new QScrollBar(Qt::Horizontal, panel);
    bar->setObjectName(QStringLiteral("Scroll%1").arg(n));
    bar->setProperty("tag", n);
    bar->setRange(kTrimMin, kTrimMax);
    bar->setValue(kTrimCentre);
    bar->setGeometry(kBarLeft, kInner, kBarWidth, kControlHeight);
  }
  Panel26 = new QFrame(this);
  Panel26->setObjectName(QStringLiteral("Panel26"));
  Panel26->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel26->setGeometry(0, kRowsPerColumn * kRowHeight + kRowHeight, kPanelWidth, kPanelHeight);
  auto button = [this](const char* name, const QString& text, const QString& hint, int left) {
    auto* b = new QToolButton(Panel26);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolTip(hint);
    b->setGeometry(left, kInner, kButtonWidth, kControlHeight);
    return b;
  };
  OpenBtn = button("OpenBtn", QStringLiteral("LOAD"), QStringLiteral("ロードボタン"), kInner);
  SaveBtn = button("SaveBtn", QStringLiteral("SAVE"), QStringLiteral("セーブボタン"),
                   kInner + kButtonWidth + 2);

  // The four controls of each row are found by name and kept by channel number.
  for (int n = 1; n <= kTrimRows; ++n) {
    Panel[at(n - 1)] = findChild<QFrame*>(QStringLiteral("Panel%1").arg(n));
    Label[at(n - 1)] = findChild<QLabel*>(QStringLiteral("Label%1").arg(n));
    Edit[at(n - 1)] = findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(n));
    Scroll[at(n - 1)] = findChild<QScrollBar*>(QStringLiteral("Scroll%1").arg(n));
  }
  for (int n = 1; n <= kTrimRows; ++n) {
    onScroll(Scroll[at(n - 1)], [this, n](int position, bool) {
      if (!showing_) ScrollScroll(n, position);
    });
    connect(Edit[at(n - 1)], &QLineEdit::returnPressed, this,
            [this, n] { EditKeyDown(n, kEnterKey); });
  }
  connect(OpenBtn, &QToolButton::clicked, this, [this] { OpenBtnClick(); });
  connect(SaveBtn, &QToolButton::clicked, this, [this] { SaveBtnClick(); });
  resize(2 * kColumnWidth, (kRowsPerColumn + 2) * kRowHeight + kInner);
}

void THomeDlg::ResetTrimRanges() {
  for (QScrollBar* bar : Scroll) bar->setRange(kTrimMin, kTrimMax);
}

void THomeDlg::showRow(int index) {
  const TrimRow& row = rows_[static_cast<std::size_t>(index)];
  showing_ = true;
  Scroll[static_cast<std::size_t>(index)]->setValue(row.bar);
  showing_ = false;
  Edit[static_cast<std::size_t>(index)]->setText(QString::number(row.shown));
}

void THomeDlg::ShowTrimBlock(const TrimValues& values) {
  rows_ = trimRows(values);
  for (int i = 0; i < kTrimRows; ++i) showRow(i);
  copyArrangement();
}

void THomeDlg::copyArrangement() {
  if (!arrangement) return;
  const EditorArrangement a = arrangement();
  resize(std::max(a.desktop.clientWidth, 1), std::max(a.desktop.clientHeight, 1));
  for (int i = 0; i < kTrimRows; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    const PanelPlace& place = a.desktop.channels[k].place;
    Panel[k]->move(place.left, place.top);
    Panel[k]->setVisible(place.visible);
    fillBackground(*Panel[k], toQColor(a.labels[k].background));
    showChannelLabel(*Label[k], a.labels[k], channelLabelName(a.labels[k], i + 1));
    Label[k]->setAutoFillBackground(false);
  }
  const PanelPlace& tools = a.desktop.lower[kCommandPanel];
  Panel26->move(tools.left, tools.top);
  fillBackground(*Panel26, toQColor(a.toolPanelColor));
}

TrimValues THomeDlg::CollectTrimBlock() const {
  TrimRows rows = rows_;
  for (int i = 0; i < kTrimRows; ++i) {
    rows[static_cast<std::size_t>(i)].bar = Scroll[static_cast<std::size_t>(i)]->value();
  }
  return collectTrims(rows);
}

bool THomeDlg::execute() {
  ResetTrimRanges();
  TrimValues values{};
  const TrimOpening opened = openTrims(link_, values);
  // The rows show what was read, even when the board then does not wake.
  if (opened == TrimOpening::kWakeFailed || opened == TrimOpening::kReady) ShowTrimBlock(values);
  if (opened != TrimOpening::kReady) return false;
  execModal(*this);
  closeTrims(link_, CollectTrimBlock());
  return true;
}

void THomeDlg::ScrollScroll(int channel, int position) {
  if (channel < 1 || channel > kTrimRows) return;
  moveTrimBar(link_, rows_, channel - 1, position);
  showRow(channel - 1);
}

void THomeDlg::EditKeyDown(int channel, int key) {
  if (key != kEnterKey || channel < 1 || channel > kTrimRows) return;
  TrimRow& row = rows_[at(channel - 1)];
  row.bar = Scroll[at(channel - 1)]->value();
  enterTrimOffset(link_, rows_, channel - 1, Edit[at(channel - 1)]->text().toStdString());
  showRow(channel - 1);
}

QString THomeDlg::askOpenPath() {
  if (chooseOpenPath) return chooseOpenPath();
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("TrimOpenDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters({QString::fromUtf8(kTrimChartFilter), QString::fromUtf8(kTrimAllFilter)});
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (execModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString THomeDlg::askSavePath(bool& chartFilter) {
  if (chooseSavePath) return chooseSavePath(chartFilter);
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("TrimSaveDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters({QString::fromUtf8(kTrimChartFilter), QString::fromUtf8(kTrimAllFilter)});
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (execModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  chartFilter = dialog.selectedNameFilter() == QString::fromUtf8(kTrimChartFilter);
  return dialog.selectedFiles().first();
}

void THomeDlg::OpenBtnClick() {
  const QString path = askOpenPath();
  if (path.isEmpty()) return;
  TrimValues values{};
  if (!loadTrimFile(ui_, path.toStdString(), values)) return;
  ShowTrimBlock(values);
  sendLoadedTrims(link_, values);
}

void THomeDlg::SaveBtnClick() {
  bool chartFilter = true;
  const QString chosen = askSavePath(chartFilter);
  if (chosen.isEmpty()) return;
  saveTrimFile(ui_, trimSavePath(chosen.toStdString(), chartFilter), CollectTrimBlock());
}

}  // namespace pvrj
