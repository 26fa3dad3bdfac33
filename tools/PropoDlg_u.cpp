// The receiver dialog's controls and handlers; the board sequences are in tools/core.
#include "tools/PropoDlg_u.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "common/Numbers.h"
#include "protocol/BoardLink.h"
#include "protocol/BoardMessages.h"
#include "tools/StripChart.h"
#include "tools/ToolWidgets.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {
namespace {

constexpr int kEditWidth = 48;
constexpr const char* kNoReading = "----";
constexpr double kAxisTop = 128;
constexpr double kMillisPerSecond = 1000.0;
// The group names from the top: the first two are swapped on the form.
constexpr const char* kGroupNames[kReceiverChannelCount] = {"GroupBox2", "GroupBox1", "GroupBox3",
                                                            "GroupBox4"};
const QColor kTraceColors[kReceiverChannelCount] = {QColor(0, 90, 200), QColor(0, 150, 0),
                                                    QColor(200, 120, 0), QColor(200, 0, 0)};

}  // namespace

TPropoDlg::TPropoDlg(BoardLink& link, UserInterface& ui, QWidget* parent)
    : QDialog(parent), link_(link), ui_(ui) {
  setObjectName(QStringLiteral("PropoDlg"));
  setWindowTitle(QStringLiteral("PropoDlg"));

  auto* layout = new QVBoxLayout(this);
  auto* channels = new QHBoxLayout;
  for (int c = 0; c < kReceiverChannelCount; ++c) {
    auto* group = new QGroupBox(QStringLiteral("PA%1").arg(c + 1), this);
    group->setObjectName(QString::fromLatin1(kGroupNames[c]));
    groups[at(c)] = group;
    const int n = c + 1;
    const int firstLabel = 7 + 3 * c;  // Label7-9, Label10-12, Label13-15, Label16-18
    auto label = [&](int number, const QString& text) {
      auto* l = new QLabel(text, group);
      l->setObjectName(QStringLiteral("Label%1").arg(number));
      return l;
    };
    auto* grid = new QGridLayout(group);
    grid->addWidget(label(firstLabel, QStringLiteral("基準値")), 0, 0);
    auto* cal =
        readingBox(QStringLiteral("PCal%1").arg(n), QStringLiteral("0"), kEditWidth, false, group);
    grid->addWidget(cal, 0, 1);
    auto* bar = new QScrollBar(Qt::Horizontal, group);
    bar->setObjectName(QStringLiteral("PScrBar%1").arg(n));
    bar->setProperty("tag", c);
    bar->setRange(kReceiverRefMin, kReceiverRefMax);
    PScrBar[at(c)] = bar;
    grid->addWidget(bar, 1, 0, 1, 2);
    auto* sunken = new QFrame(group);
    sunken->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* sunkenLayout = new QHBoxLayout(sunken);
    sunkenLayout->setContentsMargins(1, 1, 1, 1);
    auto* button = new QPushButton(QStringLiteral("AUTO"), sunken);
    button->setObjectName(QStringLiteral("ACBtn%1").arg(n));
    button->setProperty("tag", c);
    sunkenLayout->addWidget(button);
    ACBtn[at(c)] = button;
    grid->addWidget(sunken, 2, 0, 1, 2);
    grid->addWidget(label(firstLabel + 1, QStringLiteral("測定値")), 3, 0);
    PAdc[at(c)] = readingBox(QStringLiteral("PAdc%1").arg(n), QString::fromLatin1(kNoReading),
                             kEditWidth, false, group);
    grid->addWidget(PAdc[at(c)], 3, 1);
    grid->addWidget(label(firstLabel + 2, QStringLiteral("変化量")), 4, 0);
    PRif[at(c)] = readingBox(QStringLiteral("PRif%1").arg(n), QString::fromLatin1(kNoReading),
                             kEditWidth, true, group);
    grid->addWidget(PRif[at(c)], 4, 1);
    channels->addWidget(group);
  }
  // The four reference boxes are found by name and tagged with their channel.
  for (int c = 0; c < kReceiverChannelCount; ++c) {
    PCal[at(c)] = findChild<QLineEdit*>(QStringLiteral("PCal%1").arg(c + 1));
    PCal[at(c)]->setProperty("tag", c);
  }
  GroupBox5 = new QGroupBox(QStringLiteral("ボタン入力"), this);
  GroupBox5->setObjectName(QStringLiteral("GroupBox5"));
  Label1 = new QLabel(QStringLiteral("基準値"), GroupBox5);
  Label1->setObjectName(QStringLiteral("Label1"));
  BEdit = readingBox(QStringLiteral("BEdit"), QStringLiteral("0"), kEditWidth, false, GroupBox5);
  auto* buttonRow = new QHBoxLayout(GroupBox5);
  buttonRow->addWidget(Label1);
  buttonRow->addWidget(BEdit);
  buttonRow->addStretch();
  channels->addWidget(GroupBox5, 0, Qt::AlignTop);
  layout->addLayout(channels);

  plot = new TStripChart({{QStringLiteral("PA1"), kTraceColors[0], false},
                          {QStringLiteral("PA2"), kTraceColors[1], false},
                          {QStringLiteral("PA3"), kTraceColors[2], false},
                          {QStringLiteral("PA4"), kTraceColors[3], false}},
                         this);
  plot->setObjectName(QStringLiteral("ReceiverPlot"));
  plot->setLeftAxis(QString(), 0, kAxisTop);
  for (int c = 0; c < kReceiverChannelCount; ++c) {
    levels_[at(c)] = plot->addLevel(QStringLiteral("基準値 PA%1").arg(c + 1), kTraceColors[c]);
  }
  layout->addWidget(plot, 1);

  for (int c = 0; c < kReceiverChannelCount; ++c) {
    onScroll(PScrBar[at(c)],
             [this, c](int position, bool ended) { PScrBarScroll(c, position, ended); });
    connect(ACBtn[at(c)], &QPushButton::clicked, this, [this, c] { ACBtnClick(c); });
  }
  clock_.start();
}

void TPropoDlg::showLevels() {
  for (int c = 0; c < kReceiverChannelCount; ++c) {
    plot->setLevel(levels_[at(c)], settings_.references[at(c)]);
  }
}

bool TPropoDlg::LoadReceiverReferences() {
  readingsFresh_ = false;
  return pvrj::LoadReceiverReferences(link_, settings_);
}

void TPropoDlg::ShowReceiverValues() {
  BEdit->setText(QString::number(settings_.button));
  for (int c = 0; c < kReceiverChannelCount; ++c) {
    PScrBar[at(c)]->setValue(settings_.references[at(c)]);
    PCal[at(c)]->setText(QString::number(settings_.references[at(c)]));
    // Until this opening's first report there is no reading to show.
    if (readingsFresh_) {
      PAdc[at(c)]->setText(QString::number(settings_.measured[at(c)]));
      PRif[at(c)]->setText(QString::number(receiverChange(settings_, c)));
    } else {
      PAdc[at(c)]->setText(QString::fromLatin1(kNoReading));
      PRif[at(c)]->setText(QString::fromLatin1(kNoReading));
    }
  }
  showLevels();
}

bool TPropoDlg::StoreReceiverReferences() {
  return pvrj::StoreReceiverReferences(link_, settings_);
}

bool TPropoDlg::execute() {
  readingsFresh_ = false;
  if (!openReceiverDialog(link_, ui_, settings_)) return false;
  ShowReceiverValues();
  plot->clear();
  clock_.restart();  // the plot's seconds count from the opening
  execModal(*this);
  closeReceiverDialog(link_, ui_, settings_);
  return true;
}

void TPropoDlg::showReceiverReport(const ReceiverReport& report) {
  takeReceiverReport(settings_, report);
  readingsFresh_ = true;
  ShowReceiverValues();
  if (!isVisible()) return;
  double values[kReceiverChannelCount];
  for (int c = 0; c < kReceiverChannelCount; ++c) values[c] = report.values[at(c)];
  const double t =
      sampleClock ? sampleClock() : static_cast<double>(clock_.elapsed()) / kMillisPerSecond;
  plot->addSample(t, values);
}

void TPropoDlg::PScrBarScroll(int channel, int position, bool ended) {
  if (channel < 0 || channel >= kReceiverChannelCount) return;
  moveReceiverReference(link_, settings_, channel, position, ended);
  PCal[at(channel)]->setText(QString::number(settings_.references[at(channel)]));
  showLevels();
}

void TPropoDlg::ACBtnClick(int channel) {
  // The controls show the new reference with the next report.
  autoReceiverReference(link_, settings_, channel);
}

}  // namespace pvrj
