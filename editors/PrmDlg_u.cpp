// The position editor's window: panels, controls, popup menu, background and saved desktop.
#include "editors/PrmDlg_u.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>
#include <algorithm>

#include "chart/ChartGeometry.h"
#include "common/Numbers.h"
#include "common/Settings.h"
#include "common/SettingsFolder.h"
#include "editors/core/JpegImage.h"
#include "editors/core/PatternSets.h"
#include "ui/Colors.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {
namespace {

// Panel geometry: panels stand 24 pixels apart in columns 254 wide.
constexpr int kPanelWidth = 250;
constexpr int kPanelHeight = 23;
constexpr int kInner = 2;  // frame margin
constexpr int kControlHeight = kPanelHeight - 2 * kInner;
constexpr int kLabelWidth = 56;
constexpr int kEditLeft = 60;
constexpr int kEditWidth = 46;
constexpr int kBarLeft = 108;
constexpr int kBarWidth = kPanelWidth - kBarLeft - kInner - 1;
constexpr int kSmallBarWidth = 110;
constexpr int kTagWidth = 24;
constexpr int kDigitalRadioWidth = 70;
constexpr int kFreeRadioWidth = 35;
constexpr int kToolButtonWidth = 35;
constexpr int kWideToolButtonWidth = 44;
constexpr int kArrowButtonWidth = 29;
constexpr int kLinkListWidth = kPanelWidth - kEditLeft - kInner - 1;
constexpr int kSpeedPageStep = 10;
constexpr int kPositionPageStep = 10;

const char* const kRadioCaptions[kRadioCount] = {"+5V (H)", "0V (L)", "FR", "S1", "S2", "S3"};
const char* const kTypeCaptions[8] = {"NONE", "SERVO", "FREE", "SET1", "SET2", "SET3", "H", "L"};
constexpr ChannelType kTypes[8] = {ChannelType::kNone, ChannelType::kServo, ChannelType::kFree,
                                   ChannelType::kSet1, ChannelType::kSet2,  ChannelType::kSet3,
                                   ChannelType::kHigh, ChannelType::kLow};
const char* const kLowerShowCaptions[3] = {"SPEED", "COMMAND", "LINK"};
// The edit of a servo or free channel whose display rate is not 1 stands out in aqua.
const QColor kHighlightedEdit(0, 255, 255);
const QColor kPlainEdit(255, 255, 255);

QColor resolvedColor(std::uint32_t color) {
  return toQColor(resolveColor(color, paletteSystemColor));
}

bool radioShown(int mode, Radio radio) {
  const bool digital = radio == Radio::kHigh || radio == Radio::kLow;
  return digital ? mode == kModeDigital : mode == kModeFree;
}

}  // namespace

TPrmDlg::TPrmDlg(Chart& chart, QWidget* parent) : QDialog(parent), editor_(chart) {
  setObjectName(QStringLiteral("PrmDlg"));
  setWindowTitle(QString::fromLatin1(kEditorCaption));
  setModal(false);
  setSizeGripEnabled(false);
  panelColors_.fill(kButtonFaceColor);

  for (int ch = 0; ch < kChannelCount; ++ch) buildChannelPanel(ch);
  buildLowerPanels();
  buildMenu();
  chooseColor = [this](std::uint32_t initial) -> std::optional<std::uint32_t> {
    const QColor c = QColorDialog::getColor(resolvedColor(initial), this);
    if (!c.isValid()) return std::nullopt;
    return rgbColor(c.red(), c.green(), c.blue());
  };
  choosePicture = [this] {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("PictureDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(QString::fromLatin1(kPictureFilters).split(QStringLiteral(";;")));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (execModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
      return QString();
    return dialog.selectedFiles().first();
  };

  editor_.channelShown = [this](int ch) { showChannel(ch); };
  editor_.speedShown = [this] { showSpeed(); };

  // The saved desktop and the link sets, each read once now and written back at the end.
  settingsPath_ = settingsFilePath(kSettingsFileName);
  patterns_ = PatternFile::open(settingsFilePath(kPatternFileName));
  rebuildLinkList();
  applyDesktop(loadDesktop(settingsPath_));
  showSpeed();
}

TPrmDlg::~TPrmDlg() {
  saveFiles();
}

void TPrmDlg::saveFiles() {
  saveDesktop(settingsPath_, desktop());
  patterns_.save();
}

QFrame* TPrmDlg::makePanel(int number) {
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel%1").arg(number));
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(1);
  panel->setAutoFillBackground(true);
  panel->resize(kPanelWidth, kPanelHeight);
  panel->installEventFilter(this);
  panels[at(number - 1)] = panel;
  return panel;
}

void TPrmDlg::buildChannelPanel(int ch) {
  const int n = ch + 1;
  QFrame* panel = makePanel(n);

  auto* label = new QLabel(QStringLiteral("CH%1").arg(n), panel);
  label->setObjectName(QStringLiteral("Label%1").arg(n));
  label->setGeometry(kInner + 2, kInner, kLabelWidth - 2, kControlHeight);
  label->installEventFilter(this);
  panelLabels[at(ch)] = label;

  auto* edit = new QLineEdit(panel);
  edit->setObjectName(QStringLiteral("Edit%1").arg(n));
  edit->setGeometry(kEditLeft, kInner, kEditWidth, kControlHeight);
  edit->setAlignment(Qt::AlignRight);
  connect(edit, &QLineEdit::returnPressed, this, [this, ch] { EditEnter(ch); });
  valueEdits[at(ch)] = edit;

  auto* bar = new QScrollBar(Qt::Horizontal, panel);
  bar->setObjectName(QStringLiteral("Scroll%1").arg(n));
  bar->setGeometry(kBarLeft, kInner, kBarWidth, kControlHeight);
  bar->setRange(kPositionBarMin, kPositionBarMax);
  bar->setPageStep(kPositionPageStep);
  bar->setValue(kPositionCentre);
  bar->setContextMenuPolicy(Qt::NoContextMenu);
  connect(bar, &QScrollBar::valueChanged, this, [this, ch](int v) { ScrollChange(ch, v); });
  positionBars[at(ch)] = bar;

  auto* small = new QScrollBar(Qt::Horizontal, panel);
  small->setObjectName(QStringLiteral("SSL%1").arg(n));
  small->setGeometry(kBarLeft, kInner, kSmallBarWidth, kControlHeight);
  small->setRange(kSmallBarMin, kSmallBarMax);
  small->setContextMenuPolicy(Qt::NoContextMenu);
  connect(small, &QScrollBar::valueChanged, this, [this, ch](int v) { SSLChange(ch, v); });
  smallBars[at(ch)] = small;

  auto* tag = new QLabel(QStringLiteral("SP"), panel);
  tag->setObjectName(QStringLiteral("SLB%1").arg(n));
  tag->setGeometry(kBarLeft + kSmallBarWidth + 4, kInner, kTagWidth, kControlHeight);
  smallTags[at(ch)] = tag;

  int left = kBarLeft;
  for (int r = 0; r < kRadioCount; ++r) {
    const Radio radio = static_cast<Radio>(r);
    const int tagNo = tagOfRadio(ch, radio);
    auto* button = new QRadioButton(QString::fromUtf8(kRadioCaptions[r]), panel);
    button->setObjectName(QStringLiteral("CkBtn%1").arg(tagNo));
    button->setProperty("tag", tagNo);
    // The editor keeps which button is checked; the buttons only report releases.
    button->setAutoExclusive(false);
    button->setContextMenuPolicy(Qt::NoContextMenu);
    const bool digital = radio == Radio::kHigh || radio == Radio::kLow;
    if (r == static_cast<int>(Radio::kFree)) left = kBarLeft;
    const int width = digital ? kDigitalRadioWidth : kFreeRadioWidth;
    button->setGeometry(left, kInner, width, kControlHeight);
    left += width;
    connect(button, &QRadioButton::clicked, this, [this, tagNo] { CkBtnMouseUp(tagNo); });
    radios[at(tagNo - 1)] = button;
  }
  showChannel(ch);
}

void TPrmDlg::buildLowerPanels() {
  QFrame* speed = makePanel(kSpeedPanelNo);
  auto* speedLabel = new QLabel(QStringLiteral("SPEED"), speed);
  speedLabel->setObjectName(QStringLiteral("Label25"));
  speedLabel->setGeometry(kInner + 2, kInner, kLabelWidth - 2, kControlHeight);
  speedLabel->installEventFilter(this);
  panelLabels[at(kSpeedPanelNo - 1)] = speedLabel;
  SpeedEdit = new QLineEdit(speed);
  SpeedEdit->setObjectName(QStringLiteral("SpeedEdit"));
  SpeedEdit->setGeometry(kEditLeft, kInner, kEditWidth, kControlHeight);
  SpeedEdit->setAlignment(Qt::AlignRight);
  connect(SpeedEdit, &QLineEdit::returnPressed, this, [this] { SpeedEditEnter(); });
  SpeedBar = new QScrollBar(Qt::Horizontal, speed);
  SpeedBar->setObjectName(QStringLiteral("SpeedBar"));
  SpeedBar->setGeometry(kBarLeft, kInner, kBarWidth, kControlHeight);
  SpeedBar->setRange(kSpeedBarMin, kSpeedBarMax);
  SpeedBar->setPageStep(kSpeedPageStep);
  SpeedBar->setContextMenuPolicy(Qt::NoContextMenu);
  connect(SpeedBar, &QScrollBar::valueChanged, this, [this](int v) { SpeedBarChange(v); });

  QFrame* tools = makePanel(kToolPanelNo);
  int left = kInner;
  auto button = [tools, &left](const char* name, const QString& glyph, const char* hint,
                               int width) {
    auto* b = new QToolButton(tools);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(glyph);
    b->setToolTip(QString::fromUtf8(hint));
    b->setGeometry(left, kInner, width - 1, kControlHeight);
    b->setContextMenuPolicy(Qt::NoContextMenu);
    left += width;
    return b;
  };
  GetBtn =
      button("GetBtn", QStringLiteral("GET"), "現在のポジションを取得します", kToolButtonWidth);
  SetBtn =
      button("SetBtn", QStringLiteral("SET"), "画面上のポジションを送信します", kToolButtonWidth);
  StopBtn =
      button("StopBtn", QStringLiteral("HOME"), "ホームポジションに戻します", kWideToolButtonWidth);
  SleepBtn = button("SleepBtn", QStringLiteral("SLP"), "スリープモード", kToolButtonWidth);
  LinkSubBtn = button("LinkSubBtn", QStringLiteral("◀"), "リンク動作", kArrowButtonWidth);
  LinkAddBtn = button("LinkAddBtn", QStringLiteral("▶"), "リンク動作", kArrowButtonWidth);
  TchBtn =
      button("TchBtn", QStringLiteral("TCH"), "FREEの出力から角度を取り込む", kToolButtonWidth);
  connect(GetBtn, &QToolButton::clicked, this, [this] { GetBtnClick(); });
  connect(SetBtn, &QToolButton::clicked, this, [this] { SetBtnClick(); });
  connect(StopBtn, &QToolButton::clicked, this, [this] { StopBtnClick(); });
  connect(SleepBtn, &QToolButton::clicked, this, [this] { SleepBtnClick(); });
  connect(LinkSubBtn, &QToolButton::clicked, this, [this] { LinkSubBtnClick(); });
  connect(LinkAddBtn, &QToolButton::clicked, this, [this] { LinkAddBtnClick(); });
  connect(TchBtn, &QToolButton::clicked, this, [this] { TchBtnClick(); });

  QFrame* link = makePanel(kLinkPanelNo);
  auto* linkLabel = new QLabel(QStringLiteral("LINK"), link);
  linkLabel->setObjectName(QStringLiteral("Label27"));
  linkLabel->setGeometry(kInner + 2, kInner, kLabelWidth - 2, kControlHeight);
  linkLabel->installEventFilter(this);
  panelLabels[at(kLinkPanelNo - 1)] = linkLabel;
  LinkList = new QComboBox(link);
  LinkList->setObjectName(QStringLiteral("LinkList"));
  LinkList->setGeometry(kEditLeft, kInner, kLinkListWidth, kControlHeight);
  LinkList->setContextMenuPolicy(Qt::NoContextMenu);
  connect(LinkList, &QComboBox::activated, this, [this](int i) { LinkListCloseUp(i); });
  connect(LinkList, &QComboBox::currentIndexChanged, this,
          [this](int i) { editor_.setLinkChosen(i >= 0); });
}

void TPrmDlg::buildMenu() {
  PrmMenu = new QMenu(this);
  PrmMenu->setObjectName(QStringLiteral("PrmMenu"));
  for (std::size_t i = 0; i < typeActions.size(); ++i) {
    QAction* a = PrmMenu->addAction(QString::fromLatin1(kTypeCaptions[i]));
    a->setObjectName(QStringLiteral("Type") + QString::fromLatin1(kTypeCaptions[i]));
    const ChannelType type = kTypes[i];
    connect(a, &QAction::triggered, this, [this, type] { ChannelTypeClick(type); });
    typeActions[i] = a;
  }
  nameAction = PrmMenu->addAction(QStringLiteral("名前"));
  nameAction->setObjectName(QStringLiteral("NameMenu"));
  connect(nameAction, &QAction::triggered, this, [this] { NameMenuClick(); });

  showMenu = PrmMenu->addMenu(QStringLiteral("表示"));
  showMenu->setObjectName(QStringLiteral("ShowMenu"));
  for (int p = 1; p <= kPrmPanelCount; ++p) {
    const QString caption = p <= kChannelCount
                                ? QStringLiteral("CH%1").arg(p)
                                : QString::fromLatin1(kLowerShowCaptions[p - kChannelCount - 1]);
    // The tool panel's entry is "COMMAND", its saved key "CMD".
    QAction* a = showMenu->addAction(caption);
    a->setObjectName(QStringLiteral("Show%1").arg(p));
    a->setCheckable(true);
    a->setChecked(true);
    connect(a, &QAction::triggered, this, [this, p] { ShowPanelClick(p); });
    showActions[at(p - 1)] = a;
  }

  colorMenu = PrmMenu->addMenu(QStringLiteral("色"));
  colorMenu->setObjectName(QStringLiteral("ColorMenu"));
  for (std::size_t i = 0; i < kPanelColors.size(); ++i) {
    const std::uint32_t color = kPanelColors[i].color;
    QAction* a = colorMenu->addAction(QString::fromUtf8(kPanelColors[i].caption));
    a->setObjectName(QStringLiteral("Color%1").arg(i));
    connect(a, &QAction::triggered, this, [this, color] { ColorClick(color); });
    colorActions[i] = a;
  }
  otherColorAction = colorMenu->addAction(QStringLiteral("そのほかの色"));
  otherColorAction->setObjectName(QStringLiteral("OtherColor"));
  connect(otherColorAction, &QAction::triggered, this, [this] { OtherColorClick(); });

  rateAction = PrmMenu->addAction(QStringLiteral("表示レート設定"));
  rateAction->setObjectName(QStringLiteral("RateMenu"));
  connect(rateAction, &QAction::triggered, this, [this] { RateMenuClick(); });
  makeHomeAction = PrmMenu->addAction(QStringLiteral("ホームポジションにする"));
  makeHomeAction->setObjectName(QStringLiteral("MakeHomeMenu"));
  connect(makeHomeAction, &QAction::triggered, this, [this] { MakeHomeClick(); });
  backgroundSetAction = PrmMenu->addAction(QStringLiteral("背景画の設定"));
  backgroundSetAction->setObjectName(QStringLiteral("BackgroundSetMenu"));
  connect(backgroundSetAction, &QAction::triggered, this, [this] { BackgroundSetClick(); });
  backgroundShowAction = PrmMenu->addAction(QStringLiteral("背景の表示"));
  backgroundShowAction->setObjectName(QStringLiteral("BackgroundShowMenu"));
  backgroundShowAction->setCheckable(true);
  connect(backgroundShowAction, &QAction::triggered, this, [this] { BackgroundShowClick(); });
  fixPanelsAction = PrmMenu->addAction(QStringLiteral("パネルの固定"));
  fixPanelsAction->setObjectName(QStringLiteral("FixPanelsMenu"));
  fixPanelsAction->setCheckable(true);
  fixPanelsAction->setChecked(true);  // panels stay put until the user frees them
  connect(fixPanelsAction, &QAction::triggered, this, [this] { FixPanelsClick(); });
}

void TPrmDlg::showChannel(int ch) {
  const ChannelState& s = editor_.channel(ch);
  {
    const QSignalBlocker b1(positionBars[at(ch)]);
    const QSignalBlocker b2(smallBars[at(ch)]);
    positionBars[at(ch)]->setValue(s.positionBar);
    smallBars[at(ch)]->setValue(s.smallBar);
  }
  smallTags[at(ch)]->setText(s.tag == SmallTag::kStretch ? QStringLiteral("ST")
                                                         : QStringLiteral("SP"));
  const QString text = QString::number(s.edit);
  QLineEdit* edit = valueEdits[at(ch)];
  if (edit->text() != text) edit->setText(text);
  for (int r = 0; r < kRadioCount; ++r) {
    QRadioButton* button = radios[at(tagOfRadio(ch, static_cast<Radio>(r)) - 1)];
    button->setChecked(s.radio == static_cast<Radio>(r));
    button->setVisible(radioShown(s.mode, static_cast<Radio>(r)));
  }
  edit->setVisible(s.mode == kModeServo || s.mode == kModeFree || s.mode == kModeSpeed);
  positionBars[at(ch)]->setVisible(s.mode == kModeServo);
  smallBars[at(ch)]->setVisible(s.mode == kModeSpeed);
  smallTags[at(ch)]->setVisible(s.mode == kModeSpeed);
  QPalette palette = edit->palette();
  const QColor base = editHighlighted(s) ? kHighlightedEdit : kPlainEdit;
  if (palette.color(QPalette::Base) != base) {
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Text, Qt::black);
    edit->setPalette(palette);
  }
}

void TPrmDlg::showSpeed() {
  {
    const QSignalBlocker block(SpeedBar);
    SpeedBar->setValue(editor_.speedBar());
  }
  SpeedEdit->setText(QString::number(editor_.speedBar()));
}

void TPrmDlg::showNames() {
  for (int ch = 0; ch < kChannelCount; ++ch) {
    const QString name = QString::fromStdString(editor_.names()[at(ch)]);
    panelLabels[at(ch)]->setText(name);
    showActions[at(ch)]->setText(name);
  }
  emit channelLabelsChanged();
}

void TPrmDlg::setPanelColor(int panel, std::uint32_t color) {
  panelColors_[at(panel - 1)] = color;
  QFrame* frame = panels[at(panel - 1)];
  QPalette palette = frame->palette();
  palette.setColor(QPalette::Window, resolvedColor(color));
  frame->setPalette(palette);
  // The label, and a channel's radio buttons, in the colour that reads on that background.
  const QColor text = resolvedColor(contrastTextColor(color, paletteSystemColor));
  auto paintText = [&text](QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::ButtonText, text);
    w->setPalette(p);
  };
  if (QLabel* label = panelLabels[at(panel - 1)]) paintText(label);
  if (panel <= kChannelCount) {
    for (int r = 0; r < kRadioCount; ++r) {
      paintText(radios[at(tagOfRadio(panel - 1, static_cast<Radio>(r)) - 1)]);
    }
    emit channelLabelsChanged();
  }
}

std::array<ChannelLabel, kChannelCount> TPrmDlg::channelLabels() const {
  std::array<ChannelLabel, kChannelCount> labels;
  for (int ch = 0; ch < kChannelCount; ++ch) {
    const std::uint32_t color = panelColors_[at(ch)];
    labels[at(ch)].name = editor_.names()[at(ch)];
    labels[at(ch)].background = resolveColor(color, paletteSystemColor);
    labels[at(ch)].text = contrastTextColor(color, paletteSystemColor);
  }
  return labels;
}

QString TPrmDlg::channelName(int index) const {
  return QString::fromStdString(editor_.names()[at(index)]);
}

float TPrmDlg::displayRate(int index) const {
  return editor_.channel(index).rate;
}

void TPrmDlg::openItem(int item) {
  LinkList->setCurrentIndex(-1);
  editor_.open(item);
  if (const ChartItem* edited = editor_.editedItem()) {
    setWindowTitle(QString::fromStdString(edited->Name));
  }
  show();
  raise();
  activateWindow();
  editor_.sendOpenedPose();
}

// ---- Channel controls ----

void TPrmDlg::ScrollChange(int ch, int position) {
  if (!editor_.movePositionBar(ch, position)) showChannel(ch);  // busy: the bar goes back
}

void TPrmDlg::SSLChange(int ch, int position) {
  if (!editor_.moveSmallBar(ch, position)) showChannel(ch);
}

void TPrmDlg::EditEnter(int ch) {
  editor_.enterValue(ch, valueEdits[at(ch)]->text().toStdString());
  showChannel(ch);  // an unchanged value is shown again as the editor reads it
  valueEdits[at(ch)]->selectAll();
}

void TPrmDlg::SpeedBarChange(int position) {
  if (!editor_.moveSpeedBar(position)) showSpeed();
}

void TPrmDlg::SpeedEditEnter() {
  editor_.enterSpeed(SpeedEdit->text().toStdString());
  SpeedEdit->selectAll();
}

void TPrmDlg::CkBtnMouseUp(int tag) {
  const std::optional<RadioTag> which = radioOfTag(tag);
  if (!which) return;
  editor_.releaseRadio(which->channel, which->radio);
}

// ---- Tool panel ----

void TPrmDlg::GetBtnClick() {
  editor_.getPose();
}

void TPrmDlg::SetBtnClick() {
  editor_.sendPose();
}

void TPrmDlg::StopBtnClick() {
  editor_.returnToHome(true);
}

void TPrmDlg::SleepBtnClick() {
  editor_.toggleSleep();
}

void TPrmDlg::linkStep(QToolButton* button, int multiplier) {
  if (LinkList->currentIndex() < 0) return;
  button->setEnabled(false);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  editor_.linkStep(multiplier);
  button->setEnabled(true);
}

void TPrmDlg::LinkAddBtnClick() {
  linkStep(LinkAddBtn, kLinkForward);
}

void TPrmDlg::LinkSubBtnClick() {
  linkStep(LinkSubBtn, kLinkBackward);
}

void TPrmDlg::TchBtnClick() {
  editor_.teach();
}

void TPrmDlg::LinkListCloseUp(int index) {
  if (index < 0) return;
  if (index == LinkList->count() - 1) {
    if (linkSetsRequested) linkSetsRequested();
    return;
  }
  LoadLinkSet(index);
}

void TPrmDlg::rebuildLinkList() {
  const QSignalBlocker block(LinkList);
  LinkList->clear();
  for (const std::string& name : patterns_.linkSetNames()) {
    LinkList->addItem(QString::fromStdString(name));
  }
  LinkList->addItem(QString::fromUtf8(kLinkSetupEntry));  // opens the link-set editor
  LinkList->setCurrentIndex(-1);
  editor_.setLinkChosen(false);
}

void TPrmDlg::LoadLinkSet(int index) {
  if (index < 0 || index >= LinkList->count() - 1) return;
  editor_.setLinkActions(patterns_.linkSet(LinkList->itemText(index).toStdString()));
}

void TPrmDlg::chooseLinkSetsEntry() {
  LinkList->setCurrentIndex(LinkList->count() - 1);
}

bool TPrmDlg::applyChannelNames(std::span<const std::string> entries) {
  const bool sent = editor_.renameChannels(entries);
  showNames();
  return sent;
}

void TPrmDlg::applyDisplayRates(std::span<const std::string> entries) {
  editor_.setDisplayRates(entries);
}

// ---- Popup menu ----

void TPrmDlg::popupFor(int target, const QPoint& globalPos) {
  menuTarget_ = target;
  const bool channel = target >= 1 && target <= kChannelCount;
  for (QAction* a : typeActions) a->setVisible(channel);
  nameAction->setVisible(channel);
  backgroundSetAction->setVisible(target == 0);
  backgroundShowAction->setVisible(target == 0);
  for (int p = 1; p <= kPrmPanelCount; ++p) {
    showActions[at(p - 1)]->setChecked(!panels[at(p - 1)]->isHidden());
  }
  if (popupEnabled) PrmMenu->popup(globalPos);
}

void TPrmDlg::contextMenuEvent(QContextMenuEvent* event) {
  popupFor(0, event->globalPos());
}

void TPrmDlg::ChannelTypeClick(ChannelType type) {
  if (menuTarget_ < 1 || menuTarget_ > kChannelCount) return;
  editor_.chooseType(menuTarget_ - 1, type);
}

void TPrmDlg::NameMenuClick() {
  if (channelNamesRequested) channelNamesRequested();
}

void TPrmDlg::ShowPanelClick(int panel) {
  QFrame* frame = panels[at(panel - 1)];
  frame->setVisible(frame->isHidden());
  showActions[at(panel - 1)]->setChecked(!frame->isHidden());
}

void TPrmDlg::ColorClick(std::uint32_t color) {
  if (menuTarget_ == 0) {
    windowColor_ = color;
    update();
  } else {
    setPanelColor(menuTarget_, color);
  }
}

void TPrmDlg::OtherColorClick() {
  const std::uint32_t initial = menuTarget_ == 0 ? windowColor_ : panelColor(menuTarget_);
  std::optional<std::uint32_t> chosen = chooseColor ? chooseColor(initial) : std::nullopt;
  ColorClick(chosen.value_or(kButtonFaceColor));  // cancelling gives the standard colour
}

void TPrmDlg::RateMenuClick() {
  if (displayRatesRequested) displayRatesRequested();
}

void TPrmDlg::MakeHomeClick() {
  editor_.makeHomePosition();
}

void TPrmDlg::BackgroundSetClick() {
  const QString path = choosePicture ? choosePicture() : QString();
  if (path.isEmpty()) return;
  if (loadBackground(path)) backgroundShowAction->setChecked(true);
  update();
}

void TPrmDlg::BackgroundShowClick() {
  // The action has already toggled its check.
  update();
}

void TPrmDlg::FixPanelsClick() {
  dragPanel_ = 0;
}

bool TPrmDlg::backgroundShown() const {
  return backgroundShowAction->isChecked();
}

bool TPrmDlg::loadBackground(const QString& path) {
  if (path.isEmpty() || !QFileInfo::exists(path)) return false;
  QImage image;
  if (QFileInfo(path).suffix().toLower() == QStringLiteral("bmp")) {
    image.load(path, "BMP");
  } else {
    const Result<RgbImage> decoded = decodeJpegFile(path.toStdString());
    if (decoded) {
      const RgbImage& rgb = decoded.value();
      image = QImage(rgb.pixels.data(), rgb.width, rgb.height, rgb.width * 3, QImage::Format_RGB888)
                  .copy();
    }
  }
  if (image.isNull()) {
    ShowMessageBox(kMsgError, kBtnOk, kPictureMissingMessage, this);
    return false;
  }
  // The path names the picture shown; a file that failed to load does not replace it.
  backgroundPath_ = path;
  picture_ = std::move(image);
  resize(picture_.size());
  update();
  return true;
}

void TPrmDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), resolvedColor(windowColor_));
  if (backgroundShown() && !picture_.isNull()) painter.drawImage(0, 0, picture_);
}

void TPrmDlg::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) {
    // System colours follow the palette.
    for (int p = 1; p <= kPrmPanelCount; ++p) setPanelColor(p, panelColors_[at(p - 1)]);
  }
  QDialog::changeEvent(event);
}

// ---- Dragging panels ----

int TPrmDlg::panelOf(QObject* watched) const {
  for (int p = 1; p <= kPrmPanelCount; ++p) {
    if (watched == panels[at(p - 1)] || watched == panelLabels[at(p - 1)]) return p;
  }
  return 0;
}

bool TPrmDlg::eventFilter(QObject* watched, QEvent* event) {
  const int panel = panelOf(watched);
  if (panel == 0) return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::ContextMenu:
      popupFor(panel, static_cast<QContextMenuEvent*>(event)->globalPos());
      return true;
    case QEvent::MouseButtonPress: {
      if (fixPanelsAction->isChecked()) break;
      auto* mouse = static_cast<QMouseEvent*>(event);
      QFrame* frame = panels[at(panel - 1)];
      frame->raise();
      dragPanel_ = panel;
      dragStart_ = mouse->globalPosition().toPoint();
      dragOrigin_ = frame->pos();
      return mouse->button() == Qt::LeftButton;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (fixPanelsAction->isChecked() || dragPanel_ != panel ||
          mouse->buttons() != Qt::LeftButton) {
        break;
      }
      const QPoint moved = dragOrigin_ + (mouse->globalPosition().toPoint() - dragStart_);
      panels[at(panel - 1)]->move(std::max(moved.x(), 0), std::max(moved.y(), 0));
      return true;
    }
    case QEvent::MouseButtonRelease:
      dragPanel_ = 0;
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

// ---- Saved desktop ----

DesktopSettings TPrmDlg::desktop() const {
  DesktopSettings d = DesktopSettings::defaults();
  d.clientWidth = width();
  d.clientHeight = height();
  d.windowColor = static_cast<std::int32_t>(windowColor_);
  d.backgroundPath = backgroundPath_.toStdString();
  d.showBackground = backgroundShown();
  auto placeOf = [this](int p) {
    const QFrame* frame = panels[at(p - 1)];
    PanelPlace place;
    place.visible = !frame->isHidden();
    place.left = frame->x();
    place.top = frame->y();
    place.color = static_cast<std::int32_t>(panelColors_[at(p - 1)]);
    return place;
  };
  for (int ch = 0; ch < kChannelCount; ++ch) {
    ChannelPanelSettings& c = d.channels[at(ch)];
    c.place = placeOf(ch + 1);
    c.mode = editor_.channel(ch).mode;
    c.rate = editor_.channel(ch).rate;
    c.name = editor_.names()[at(ch)];
  }
  for (int k = 0; k < kLowerPanelCount; ++k) d.lower[at(k)] = placeOf(kSpeedPanelNo + k);
  return d;
}

void TPrmDlg::applyDesktop(const DesktopSettings& d) {
  loadBackground(QString::fromStdString(d.backgroundPath));
  backgroundPath_ = QString::fromStdString(d.backgroundPath);
  backgroundShowAction->setChecked(d.showBackground);
  resize(std::max(d.clientWidth, 1), std::max(d.clientHeight, 1));
  windowColor_ = static_cast<std::uint32_t>(d.windowColor);
  auto place = [this](int p, const PanelPlace& where) {
    QFrame* frame = panels[at(p - 1)];
    frame->move(std::max(where.left, 0), std::max(where.top, 0));
    frame->setVisible(where.visible);
    setPanelColor(p, static_cast<std::uint32_t>(where.color));
  };
  for (int ch = 0; ch < kChannelCount; ++ch) {
    const ChannelPanelSettings& c = d.channels[at(ch)];
    place(ch + 1, c.place);
    ChannelState& state = editor_.channel(ch);
    state.mode = c.mode;
    setDisplayRate(state, c.rate);
    editor_.setName(ch, c.name);
    showChannel(ch);
  }
  for (int k = 0; k < kLowerPanelCount; ++k) place(kSpeedPanelNo + k, d.lower[at(k)]);
  showNames();
  update();
}

}  // namespace pvrj
