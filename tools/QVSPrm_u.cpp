// The servo parameter dialog's controls, and the block they load from and collect into.
#include "tools/QVSPrm_u.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include "tools/ToolWidgets.h"

namespace pvrj {
namespace {

constexpr int kLongListRows = 10;  // rows the punch and power-free lists drop down
constexpr int kLimitEditTag7 = 7;
constexpr int kLimitEditTag8 = 8;
constexpr int kLimitEditChars = 4;
constexpr int kBarMinimumWidth = 160;

QComboBox* list(QWidget* parent, const char* name, const std::vector<std::string>& items) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setEditable(false);
  box->addItems(toStringList(items));
  return box;
}

// A framed panel with its heading above its control(s).
QFrame* panel(QWidget* parent, const char* name) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(name);
  frame->setFrameShape(QFrame::StyledPanel);
  return frame;
}

}  // namespace

TQVSPrm::TQVSPrm(QWidget* parent) : QDialog(parent) {
  setObjectName("QVSPrm");
  setWindowTitle("QVSPrm");

  auto* gain = panel(this, "GainPanel");
  GainPanel = gain;
  Label8 = namedLabel("Label8", "ストレッチ", gain);
  Label2 = namedLabel("Label2", "スピード", gain);
  Label1 = namedLabel("Label1", "SET1", gain);
  Label3 = namedLabel("Label3", "SET2", gain);
  Label4 = namedLabel("Label4", "SET3", gain);
  auto* gainGrid = new QGridLayout(gain);
  gainGrid->addWidget(Label8, 0, 1);
  gainGrid->addWidget(Label2, 0, 2);
  const std::array<QLabel*, 3> rowLabels{Label1, Label3, Label4};
  for (std::size_t set = 0; set < 3; ++set) {
    const QByteArray n = QByteArray::number(static_cast<int>(set) + 1);
    Stretch[set] = list(gain, ("Stretch" + n).constData(), kStretchItems);
    Speed[set] = list(gain, ("Speed" + n).constData(), kSpeedItems);
    const int row = static_cast<int>(set) + 1;
    gainGrid->addWidget(rowLabels[set], row, 0);
    gainGrid->addWidget(Stretch[set], row, 1);
    gainGrid->addWidget(Speed[set], row, 2);
  }

  auto listPanel = [this](const char* panelName, const char* labelName, const QString& heading,
                          const char* listName, const std::vector<std::string>& items,
                          QWidget*& panelOut, QLabel*& labelOut, QComboBox*& listOut) {
    QFrame* p = panel(this, panelName);
    labelOut = namedLabel(labelName, heading, p);
    listOut = list(p, listName, items);
    auto* column = new QVBoxLayout(p);
    column->addWidget(labelOut);
    column->addWidget(listOut);
    panelOut = p;
  };
  listPanel("PunchPn", "Label13", "パンチ", "Punch", kPunchItems, PunchPn, Label13, Punch);
  Punch->setMaxVisibleItems(kLongListRows);
  listPanel("DeadBandPn", "Label5", "デッドバンド", "DeadBand", kDeadBandItems, DeadBandPn, Label5,
            DeadBand);
  listPanel("DampingPn", "Label6", "ダンピング", "Damping", kDampingItems, DampingPn, Label6,
            Damping);
  listPanel("ReversePn", "Label7", "リバース", "Reverse", kReverseItems, ReversePn, Label7,
            Reverse);
  listPanel("ProtecPnP", "Label9", "プロテクション", "ProtecP", kProtectionItems, ProtecPnP, Label9,
            ProtecP);
  listPanel("PowFreePnP", "Label10", "脱力タイマー", "PowFreeP", kPowerFreeItems, PowFreePnP,
            Label10, PowFreeP);
  PowFreeP->setMaxVisibleItems(kLongListRows);

  auto limitPanel = [this](const char* panelName, const char* labelName, const QString& heading,
                           const char* barName, const char* editName, int tag, QWidget*& panelOut,
                           QLabel*& labelOut, QScrollBar*& barOut, QLineEdit*& editOut) {
    QFrame* p = panel(this, panelName);
    labelOut = namedLabel(labelName, heading, p);
    barOut = new QScrollBar(Qt::Horizontal, p);
    barOut->setObjectName(barName);
    barOut->setRange(0, kLimitPositions);
    barOut->setPageStep(1);
    barOut->setProperty("tag", tag);
    barOut->setMinimumWidth(kBarMinimumWidth);
    editOut = new QLineEdit(p);
    editOut->setObjectName(editName);
    editOut->setReadOnly(true);
    editOut->setText("0");
    editOut->setMaximumWidth(editOut->fontMetrics().horizontalAdvance('0') * kLimitEditChars * 2);
    auto* row = new QHBoxLayout;
    row->addWidget(barOut, 1);
    row->addWidget(editOut);
    auto* column = new QVBoxLayout(p);
    column->addWidget(labelOut);
    column->addLayout(row);
    panelOut = p;
    QScrollBar* bar = barOut;
    connect(bar, &QScrollBar::valueChanged, this, [this, bar] { ScrollBarChange(bar); });
  };
  limitPanel("LimitLPn", "Label11", "リミッタ(L)", "LimitL", "Edit7", kLimitEditTag7, LimitLPn,
             Label11, LimitL, Edit7);
  limitPanel("LimitRPn", "Label12", "リミッタ(R)", "LimitR", "Edit8", kLimitEditTag8, LimitRPn,
             Label12, LimitR, Edit8);

  auto* grid = new QGridLayout;
  grid->addWidget(PunchPn, 0, 0);
  grid->addWidget(ProtecPnP, 0, 1);
  grid->addWidget(DeadBandPn, 1, 0);
  grid->addWidget(PowFreePnP, 1, 1);
  grid->addWidget(DampingPn, 2, 0);
  grid->addWidget(ReversePn, 2, 1);
  grid->addWidget(LimitLPn, 3, 0);
  grid->addWidget(LimitRPn, 3, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(GainPanel);
  layout->addLayout(grid);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

ServoControls TQVSPrm::controls() const {
  ServoControls c;
  for (std::size_t set = 0; set < 3; ++set) {
    c.stretch[set] = Stretch[set]->currentIndex();
    c.speed[set] = Speed[set]->currentIndex();
  }
  c.punch = Punch->currentIndex();
  c.deadBand = DeadBand->currentIndex();
  c.damping = Damping->currentIndex();
  c.reverse = Reverse->currentIndex();
  c.protection = ProtecP->currentIndex();
  c.powerFree = PowFreeP->currentIndex();
  c.limitL = LimitL->value();
  c.limitR = LimitR->value();
  return c;
}

void TQVSPrm::setControls(const ServoControls& c) {
  for (std::size_t set = 0; set < 3; ++set) {
    Stretch[set]->setCurrentIndex(c.stretch[set]);
    Speed[set]->setCurrentIndex(c.speed[set]);
  }
  Punch->setCurrentIndex(c.punch);
  DeadBand->setCurrentIndex(c.deadBand);
  Damping->setCurrentIndex(c.damping);
  Reverse->setCurrentIndex(c.reverse);
  ProtecP->setCurrentIndex(c.protection);
  PowFreeP->setCurrentIndex(c.powerFree);
  LimitL->setValue(c.limitL);
  LimitR->setValue(c.limitR);
  // The edits show the positions even when a bar kept its value and sent no change.
  ScrollBarChange(LimitL);
  ScrollBarChange(LimitR);
}

void TQVSPrm::LoadServoParameters(const ServoBlock& block) {
  setControls(pvrj::LoadServoParameters(block));
}

void TQVSPrm::CollectServoParameters(ServoBlock& block) const {
  pvrj::CollectServoParameters(controls(), block);
}

void TQVSPrm::ScrollBarChange(QScrollBar* bar) {
  const int tag = bar->property("tag").toInt();
  QLineEdit* edit = tag == kLimitEditTag7 ? Edit7 : tag == kLimitEditTag8 ? Edit8 : nullptr;
  if (edit) edit->setText(QString::number(bar->value()));
}

}  // namespace pvrj
