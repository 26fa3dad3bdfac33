// The per-channel entry dialog's controls and handlers.
#include "tools/PortDlg_u.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "chart/ChannelConversion.h"
#include "common/Encoding.h"
#include "editors/core/LinkActions.h"
#include "editors/core/PatternSets.h"
#include "protocol/BoardLink.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {

namespace {

constexpr int kRowsPerColumn = 12;
// Room for the longest template and its argument, "CopyTo(24)", with some to spare.
constexpr int kBoxCharacters = 14;
constexpr int kNameCharacters = 16;

std::vector<std::string> linkTemplates() {
  return {kLinkTemplates.begin(), kLinkTemplates.end()};
}

// A channel name as the board holds it: 32 CP932 bytes up to the first NUL.
QString channelNameText(const Bytes& reply) {
  std::string name;
  for (std::size_t i = 0; i < reply.size() && i < kChannelNameLength && reply[i] != 0; ++i) {
    name.push_back(static_cast<char>(reply[i]));
  }
  return QString::fromStdString(cp932ToUtf8(name));
}

}  // namespace

QString formatRateForBox(float rate) {
  // "0.###": at most three decimals, no trailing zeros.
  const double rounded = std::round(static_cast<double>(rate) * 1000.0) / 1000.0;
  QString text = QString::number(rounded, 'f', 3);
  while (text.endsWith('0')) text.chop(1);
  if (text.endsWith('.')) text.chop(1);
  return text == QStringLiteral("-0") ? QStringLiteral("0") : text;
}

TPortDlg::TPortDlg(Chart& chart, PatternFile& pattern, QWidget* parent)
    : QDialog(parent), chart_(chart), pattern_(pattern) {
  setObjectName("PortDlg");
  setWindowTitle("PortDlg");
  auto* rows = new QGridLayout;
  for (int n = 1; n <= kChannelCount; ++n) {
    auto* label = new QLabel(QString("CH%1").arg(n), this);
    label->setObjectName(QString("PortName%1").arg(n));
    label->setProperty("tag", n);
    auto* box = new QComboBox(this);
    box->setObjectName(QString("Cmb%1").arg(n));
    box->setProperty("tag", n);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMaxVisibleItems(kPortBoxVisibleRows);
    box->setMinimumContentsLength(kBoxCharacters);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    const int row = (n - 1) % kRowsPerColumn;
    const int column = (n - 1) / kRowsPerColumn * 2;
    rows->addWidget(label, row, column);
    rows->addWidget(box, row, column + 1);
  }
  // The boxes and labels are found by name and kept by their tag.
  for (QComboBox* box : findChildren<QComboBox*>(QString(), Qt::FindDirectChildrenOnly)) {
    const int tag = box->property("tag").toInt();
    if (tag >= 1 && tag <= kChannelCount) Cmb[static_cast<std::size_t>(tag - 1)] = box;
  }
  for (QLabel* label : findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
    const int tag = label->property("tag").toInt();
    if (tag >= 1 && tag <= kChannelCount) PortName[static_cast<std::size_t>(tag - 1)] = label;
  }

  ListLabel = new QLabel("名前", this);
  ListLabel->setObjectName("ListLabel");
  ListMenu = new QComboBox(this);
  ListMenu->setObjectName("ListMenu");
  ListMenu->setEditable(true);
  ListMenu->setInsertPolicy(QComboBox::NoInsert);
  ListMenu->setMaxVisibleItems(kPortBoxVisibleRows);
  ListMenu->setMinimumContentsLength(kNameCharacters);
  ListMenu->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  ListMenu->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  DelBtn = new QPushButton("削除", this);
  DelBtn->setObjectName("DelBtn");
  DelBtn->setAutoDefault(false);
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setAutoDefault(false);
  Button1 = new QPushButton("キャンセル", this);
  Button1->setObjectName("Button1");
  Button1->setAutoDefault(false);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(ListLabel);
  bottom->addWidget(ListMenu);
  bottom->addWidget(DelBtn);
  bottom->addStretch();
  bottom->addWidget(OKBtn);
  bottom->addWidget(Button1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(rows);
  layout->addLayout(bottom);

  connect(ListMenu, &QComboBox::activated, this, [this](int index) {
    chosen_ = index;
    ListMenuCloseUp();
  });
  // Typing over the chosen entry's text makes the text a new name.
  connect(ListMenu, &QComboBox::editTextChanged, this, [this](const QString& text) {
    if (chosen_ >= 0 && (chosen_ >= ListMenu->count() || text != ListMenu->itemText(chosen_))) {
      chosen_ = -1;
    }
  });
  connect(DelBtn, &QPushButton::clicked, this, [this] { DelBtnClick(); });
  connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

QString TPortDlg::boxText(int channel) const {
  if (channel < 1 || channel > kChannelCount) return {};
  return Cmb[static_cast<std::size_t>(channel - 1)]->currentText();
}

std::vector<std::string> TPortDlg::boxTexts() const {
  std::vector<std::string> texts;
  for (const QComboBox* box : Cmb) texts.push_back(box->currentText().toStdString());
  return texts;
}

void TPortDlg::setBoxTexts(const ChannelRules& texts) {
  for (int n = 0; n < kChannelCount; ++n) {
    const auto i = static_cast<std::size_t>(n);
    Cmb[i]->setEditText(QString::fromStdString(texts[i]));
  }
}

void TPortDlg::showRowLabels(bool channelNumbers) {
  const ChannelLabels labels = channelLabels ? channelLabels() : ChannelLabels{};
  for (int n = 1; n <= kChannelCount; ++n) {
    const ChannelLabel& label = labels[static_cast<std::size_t>(n - 1)];
    const QString text = channelNumbers ? QString("CH%1").arg(n) : channelLabelName(label, n);
    QLabel& row = *PortName[static_cast<std::size_t>(n - 1)];
    if (channelLabels) {
      showChannelLabel(row, label, text);
    } else {
      row.setText(text);
    }
  }
}

void TPortDlg::showSetControls(bool shown) {
  ListLabel->setVisible(shown);
  ListMenu->setVisible(shown);
  DelBtn->setVisible(shown);
}

void TPortDlg::prepareBoxes(const std::vector<std::string>& items) {
  const QStringList list = toStringList(items);
  for (QComboBox* box : Cmb) {
    box->clear();
    box->addItems(list);
    box->setCurrentIndex(-1);
    box->clearEditText();
  }
}

std::vector<std::string> TPortDlg::setNames() const {
  return mode_ == kPortModeConversion ? pattern_.conversionSetNames() : pattern_.linkSetNames();
}

void TPortDlg::setSetNames(const std::vector<std::string>& names) {
  if (mode_ == kPortModeConversion) {
    pattern_.setConversionSetNames(names);
  } else {
    pattern_.setLinkSetNames(names);
  }
}

std::vector<std::string> TPortDlg::listMenuNames() const {
  std::vector<std::string> names;
  for (int i = 0; i < ListMenu->count(); ++i) names.push_back(ListMenu->itemText(i).toStdString());
  return names;
}

void TPortDlg::fillListMenu(const std::vector<std::string>& names) {
  ListMenu->clear();
  ListMenu->addItems(toStringList(names));
  ListMenu->setCurrentIndex(-1);
  ListMenu->clearEditText();
  chosen_ = -1;
}

int TPortDlg::chosenEntry() const {
  return chosen_ >= 0 && chosen_ < ListMenu->count() ? chosen_ : -1;
}

void TPortDlg::rebuildLinkList() {
  if (linkSetsChanged) linkSetsChanged();
}

void TPortDlg::chooseLastLinkEntry() {
  if (chooseLinkSetupEntry) chooseLinkSetupEntry();
}

void TPortDlg::clearEditorLinkActions() {
  if (clearLinkActions) clearLinkActions();
}

void TPortDlg::PrepareConversion() {
  mode_ = kPortModeConversion;
  setWindowTitle("変換");
  showRowLabels(false);
  showSetControls(true);
  fillListMenu(pattern_.conversionSetNames());
  prepareBoxes(conversionTemplates());
}

void TPortDlg::PrepareChannelNames() {
  mode_ = kPortModeChannelNames;
  setWindowTitle("名称変更");
  showRowLabels(true);
  showSetControls(false);
  prepareBoxes({});
  for (int n = 1; n <= kChannelCount; ++n) {
    Bytes reply;
    // A name that cannot be read leaves its box empty.
    if (link && link->CmdReadChannelName(n - 1, reply)) {
      Cmb[static_cast<std::size_t>(n - 1)]->setEditText(channelNameText(reply));
    }
  }
}

void TPortDlg::PrepareDisplayRates() {
  mode_ = kPortModeDisplayRates;
  setWindowTitle("度数レートの変更");
  showRowLabels(false);
  showSetControls(false);
  prepareBoxes({});
  for (int n = 1; n <= kChannelCount; ++n) {
    const float rate = displayRate ? displayRate(n) : 1.0f;
    Cmb[static_cast<std::size_t>(n - 1)]->setEditText(formatRateForBox(rate));
  }
}

void TPortDlg::PrepareLinkSets() {
  mode_ = kPortModeLinkSets;
  setWindowTitle("指定動作の設定");
  showRowLabels(false);
  showSetControls(true);
  fillListMenu(pattern_.linkSetNames());
  clearEditorLinkActions();
  prepareBoxes(linkTemplates());
}

void TPortDlg::ListMenuCloseUp() {
  const int chosen = chosenEntry();
  if (chosen < 0) return;
  const std::string name = ListMenu->itemText(chosen).toStdString();
  if (mode_ == kPortModeConversion) {
    setBoxTexts(boxesFromSet(pattern_.conversionSet(name)));
  } else if (mode_ == kPortModeLinkSets) {
    setBoxTexts(boxesFromSet(pattern_.linkSet(name)));
  }
}

void TPortDlg::DelBtnClick() {
  if (mode_ != kPortModeConversion && mode_ != kPortModeLinkSets) return;
  const int chosen = chosenEntry();
  if (chosen < 0) return;
  const QString name = ListMenu->itemText(chosen);
  const std::string question = name.toStdString() + kDeleteSetQuestion;
  if (ShowMessageBox(kMsgWarning, kBtnYesNo, question, this) != kIdYes) return;
  if (mode_ == kPortModeConversion) {
    pattern_.deleteConversionSet(name.toStdString());
  } else {
    pattern_.deleteLinkSet(name.toStdString());
  }
  ListMenu->removeItem(chosen);
  ListMenu->setCurrentIndex(-1);
  ListMenu->clearEditText();
  chosen_ = -1;
  setSetNames(listMenuNames());
  if (mode_ == kPortModeConversion) {
    for (QComboBox* box : Cmb) box->setCurrentIndex(0);
  } else {
    rebuildLinkList();
    chooseLastLinkEntry();
    clearEditorLinkActions();
    for (QComboBox* box : Cmb) {
      box->setCurrentIndex(-1);
      box->clearEditText();
    }
  }
}

void TPortDlg::saveSet(const std::string& name, bool typed) {
  if (typed) {
    ListMenu->addItem(QString::fromStdString(name));
    setSetNames(listMenuNames());
  }
  if (mode_ == kPortModeConversion) {
    pattern_.writeConversionSet(name, boxTexts());
  } else {
    pattern_.writeLinkSet(name, boxTexts());
  }
}

bool TPortDlg::acceptConversion() {
  const ChannelRules rules = rulesFromItems(boxTexts());
  // A set that cannot be applied as a whole is neither saved nor applied.
  if (const int bad = firstUnusableRule(rules); bad != 0) {
    ShowMessageBox(kMsgError, kBtnOk, badLinkEntryMessage(bad), this);
    return false;
  }
  const int chosen = chosenEntry();
  if (chosen >= 0) {
    saveSet(ListMenu->itemText(chosen).toStdString(), false);
  } else {
    const std::string name = typedSetName(ListMenu->currentText().toStdString());
    switch (checkConversionSetName(name)) {
      case SetNameCheck::kEmpty:
        break;  // applied without saving a set
      case SetNameCheck::kNotUsable:
        ShowMessageBox(kMsgWarning, kBtnOk, kNameNotUsableMessage, this);
        return false;
      case SetNameCheck::kUsable:
        saveSet(name, true);
        break;
    }
  }
  convertSelectedItems(chart_, rules);
  return true;
}

bool TPortDlg::acceptLinkSet() {
  const std::vector<std::string> entries = boxTexts();
  if (const int bad = firstBadLinkChannel(entries); bad != 0) {
    ShowMessageBox(kMsgError, kBtnOk, badLinkEntryMessage(bad), this);
    return false;
  }
  const int chosen = chosenEntry();
  std::string name;
  if (chosen >= 0) {
    name = ListMenu->itemText(chosen).toStdString();
    saveSet(name, false);
  } else {
    name = typedSetName(ListMenu->currentText().toStdString());
    switch (checkLinkSetName(name)) {
      case SetNameCheck::kNotUsable:
        ShowMessageBox(kMsgWarning, kBtnOk, kNameNotUsableMessage, this);
        return false;
      case SetNameCheck::kEmpty:
        ShowMessageBox(kMsgWarning, kBtnOk, kEnterNameMessage, this);
        return false;
      case SetNameCheck::kUsable:
        saveSet(name, true);
        rebuildLinkList();
        break;
    }
  }
  chooseLastLinkEntry();
  return true;
}

void TPortDlg::OKBtnClick() {
  if (mode_ == kPortModeConversion && !acceptConversion()) return;
  if (mode_ == kPortModeLinkSets && !acceptLinkSet()) return;
  accept();
}

void TPortDlg::Button1Click() {
  reject();
}

}  // namespace pvrj
