// The environment settings' controls and handlers.
#include "prefs/FormDlg_u.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/UserInterface.h"
#include "prefs/core/EnvironmentSettings.h"

namespace pvrj {
namespace {

constexpr int kNumberChars = 6;

QLineEdit* numberEdit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance('0') * kNumberChars * 2);
  return edit;
}

QLabel* label(QWidget* parent, const char* name, const QString& text) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  return l;
}

QCheckBox* box(QWidget* parent, const char* name, const QString& text) {
  auto* b = new QCheckBox(text, parent);
  b->setObjectName(name);
  return b;
}

}  // namespace

TFormDlg::TFormDlg(EnvironmentHost& host, UserInterface& ui, QWidget* parent)
    : QDialog(parent),
      host_(host),
      ui_(ui),
      association_(std::make_unique<FileAssociation>(
          DesktopFolders::fromEnvironment(),
          QCoreApplication::applicationFilePath().toStdString())) {
  setObjectName("FormDlg");

  Label4 = label(this, "Label4", "広さ");
  Label5 = label(this, "Label5", "横幅");
  FormWidth = numberEdit(this, "FormWidth");
  Label6 = label(this, "Label6", "高さ");
  FormHeight = numberEdit(this, "FormHeight");
  Label3 = label(this, "Label3", "グリッドの間隔");
  Label1 = label(this, "Label1", "X");
  GridX = numberEdit(this, "GridX");
  Label2 = label(this, "Label2", "Y");
  GridY = numberEdit(this, "GridY");
  FileIcon = box(this, "FileIcon", "VLBのファイルアイコンを表示する");
  Label7 = label(this, "Label7", "表示");
  // The wording crosses over: "ツールメニュー" shows the command bar, "コマンドメニュー" the tools.
  ViewCmdMenu = box(this, "ViewCmdMenu", "ツールメニュー");
  ViewPartMenu = box(this, "ViewPartMenu", "パーツメニュー");
  ViewCommMenu = box(this, "ViewCommMenu", "通信設定");
  ViewToolMenu = box(this, "ViewToolMenu", "コマンドメニュー");
  toolBarBoxes_ = {{ViewCmdMenu, "CommandMenu"},
                   {ViewPartMenu, "PartsMenu"},
                   {ViewCommMenu, "CommMenu"},
                   {ViewToolMenu, "ToolsMenu"}};
  ReWriteBtn = new QPushButton("更新", this);
  ReWriteBtn->setObjectName("ReWriteBtn");
  ReWriteBtn->setDefault(true);

  auto* numbers = new QGridLayout;
  numbers->addWidget(Label4, 0, 0);
  numbers->addWidget(Label5, 0, 1, Qt::AlignRight);
  numbers->addWidget(FormWidth, 0, 2);
  numbers->addWidget(Label6, 0, 3, Qt::AlignRight);
  numbers->addWidget(FormHeight, 0, 4);
  numbers->addWidget(Label3, 1, 0);
  numbers->addWidget(Label1, 1, 1, Qt::AlignRight);
  numbers->addWidget(GridX, 1, 2);
  numbers->addWidget(Label2, 1, 3, Qt::AlignRight);
  numbers->addWidget(GridY, 1, 4);
  numbers->setColumnStretch(5, 1);

  // Settings of the program itself; later on/off settings join this column (addOption).
  optionsColumn_ = new QVBoxLayout;
  optionsColumn_->addWidget(FileIcon);

  auto* toolBars = new QGridLayout;
  toolBars->addWidget(Label7, 0, 0, 1, 2);
  toolBars->addWidget(ViewCmdMenu, 1, 0);
  toolBars->addWidget(ViewPartMenu, 1, 1);
  toolBars->addWidget(ViewCommMenu, 2, 0);
  toolBars->addWidget(ViewToolMenu, 2, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ReWriteBtn);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(numbers);
  layout->addLayout(optionsColumn_);
  layout->addLayout(toolBars);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(ReWriteBtn, &QPushButton::clicked, this, [this] { ReWriteBtnClick(); });
  FormCreate();
}

void TFormDlg::FormCreate() {
  setWindowTitle(kFormDlgCaption);
}

QCheckBox* TFormDlg::addOption(const char* name, const QString& caption, std::function<bool()> read,
                               std::function<void(bool)> apply) {
  QCheckBox* b = box(this, name, caption);
  optionsColumn_->addWidget(b);
  options_.push_back({b, std::move(read), std::move(apply)});
  return b;
}

void TFormDlg::setAssociation(FileAssociation association) {
  association_ = std::make_unique<FileAssociation>(std::move(association));
}

bool TFormDlg::IsAssociationRegistered() const {
  return association_->IsAssociationRegistered();
}

void TFormDlg::RegisterAssociation(bool on) {
  const Status done = association_->RegisterAssociation(on);
  if (!done) ui_.showStatus(kAssociationFailed + done.message());
}

void TFormDlg::FormActivate() {
  const QSize canvas = host_.canvasSize();
  FormWidth->setText(QString::number(canvas.width()));
  FormHeight->setText(QString::number(canvas.height()));
  GridX->setText(QString::number(host_.gridStepX()));
  GridY->setText(QString::number(host_.gridStepY()));
  FileIcon->setChecked(IsAssociationRegistered());
  for (const Option& o : options_) o.box->setChecked(o.read && o.read());
  for (const ToolBarBox& t : toolBarBoxes_) t.box->setChecked(host_.toolBarShown(t.toolBar));
}

void TFormDlg::ReWriteBtnClick() {
  const auto change =
      environmentChange(FormWidth->text().toStdString(), FormHeight->text().toStdString(),
                        GridX->text().toStdString(), GridY->text().toStdString(), host_.gridStepX(),
                        host_.gridStepY());
  if (change) {
    host_.setCanvasSize(change->width, change->height);
    host_.setGridSteps(change->gridX, change->gridY);
    RegisterAssociation(FileIcon->isChecked());
    for (const Option& o : options_) {
      if (o.apply) o.apply(o.box->isChecked());
    }
    for (const ToolBarBox& t : toolBarBoxes_) host_.showToolBar(t.toolBar, t.box->isChecked());
  }
  accept();
}

void TFormDlg::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
  QDialog::changeEvent(event);
}

void TFormDlg::showEvent(QShowEvent* event) {
  // Shown counts as activated even where the window system activates it late or not at all.
  FormActivate();
  QDialog::showEvent(event);
}

}  // namespace pvrj
