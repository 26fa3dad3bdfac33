// The information window's controls and handlers.
#include "prefs/InfoDlg_u.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

#include "prefs/ProgramIcon.h"
#include "prefs/core/BoardInfoText.h"
#include "protocol/BoardLink.h"

namespace pvrj {
namespace {

const QColor kLinkHovered(0xFF, 0x00, 0xFF);  // red and blue at full strength
const QColor kLinkResting(0x00, 0x00, 0x00);

QLabel* label(QWidget* parent, const char* name, const QString& text = {}) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  return l;
}

}  // namespace

TInfoDlg::TInfoDlg(BoardLink* link, QWidget* parent) : QDialog(parent), link_(link) {
  setObjectName("InfoDlg");
  setWindowTitle("Information");
  openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };

  Image1 = label(this, "Image1");
  Image1->setPixmap(programBanner());
  Image1->setFixedSize(kBannerWidth, kBannerHeight);
  Label1 = label(this, "Label1", "ProgramName");
  VersionLabel = label(this, "VersionLabel");
  URL_Label = label(this, "URL_Label");
  URL_Label->setCursor(Qt::PointingHandCursor);
  URL_Label->installEventFilter(this);
  Label2 = label(this, "Label2", "FacePlate");
  StaticText1 = label(this, "StaticText1");
  StaticText1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  StaticText1->setTextFormat(Qt::PlainText);
  StaticText1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Room for the board's four lines of 16 characters, in a font that keeps them in columns.
  QFont fixed("Monospace");
  fixed.setStyleHint(QFont::TypeWriter);
  StaticText1->setFont(fixed);
  const QFontMetrics metrics(fixed);
  StaticText1->setMinimumSize(
      metrics.horizontalAdvance(QString(static_cast<int>(kBoardInfoLineLength), 'M')) +
          2 * StaticText1->frameWidth() + 2 * metrics.averageCharWidth(),
      metrics.lineSpacing() * static_cast<int>(kBoardInfoLines) + 2 * StaticText1->frameWidth());

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // the window fits its contents
  layout->addWidget(Image1);
  layout->addWidget(Label1);
  layout->addWidget(VersionLabel);
  layout->addWidget(URL_Label);
  layout->addWidget(Label2);
  layout->addWidget(StaticText1);
  FormCreate();
}

void TInfoDlg::FormCreate() {
  VersionLabel->setText(QString(kProgramName) + "\n" + kEditionText);
  URL_Label->setText(kProjectPage);
  URL_Label->setToolTip(kProjectPage);
  setLinkLook(false);
}

void TInfoDlg::FormActivate() {
  // While another exchange waits for its reply this one would be refused; the text stays.
  if (link_ && link_->exchanging()) return;
  Bytes info;
  if (!link_ || !link_->CmdReadBoardInfo(info)) info.clear();
  QStringList lines;
  for (const std::string& line : boardInfoLines(info)) lines << QString::fromStdString(line);
  StaticText1->setText(lines.join('\n'));
}

void TInfoDlg::URL_LabelDblClick() {
  if (openUrl) openUrl(QUrl(kProjectPage));
}

void TInfoDlg::URL_LabelMouseEnter() {
  setLinkLook(true);
}

void TInfoDlg::URL_LabelMouseLeave() {
  setLinkLook(false);
}

void TInfoDlg::setLinkLook(bool hovered) {
  QPalette palette = URL_Label->palette();
  palette.setColor(QPalette::WindowText, hovered ? kLinkHovered : kLinkResting);
  URL_Label->setPalette(palette);
  QFont font = URL_Label->font();
  font.setUnderline(hovered);
  URL_Label->setFont(font);
}

bool TInfoDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == URL_Label) {
    switch (event->type()) {
      case QEvent::Enter:
        URL_LabelMouseEnter();
        break;
      case QEvent::Leave:
        URL_LabelMouseLeave();
        break;
      case QEvent::MouseButtonDblClick:
        URL_LabelDblClick();
        return true;
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TInfoDlg::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
  QDialog::changeEvent(event);
}

}  // namespace pvrj
