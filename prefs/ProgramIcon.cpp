// The program's icon at every size it comes in, and the banner drawn with it.
#include "prefs/ProgramIcon.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <string>

#include "packaging/DesktopFiles.h"

namespace pvrj {
namespace {

constexpr int kBannerIconSize = 48;
constexpr int kBannerMargin = 6;
// The icon's own blues, top to bottom.
const QColor kBannerTop(0x2b, 0x84, 0xa3);
const QColor kBannerBottom(0x12, 0x3f, 0x55);
const QColor kBannerText(Qt::white);
const QColor kBannerSubtitle(0xff, 0xc1, 0x5e);
constexpr int kTitlePoints = 18;
constexpr int kSubtitlePoints = 8;

QPixmap iconPixmap(int size) {
  const std::string name = std::string(kIconName) + "-" + std::to_string(size) + ".png";
  const std::string_view png = embeddedDesktopFile(name);
  QPixmap pixmap;
  pixmap.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<uint>(png.size()),
                      "PNG");
  return pixmap;
}

}  // namespace

QIcon programIcon() {
  QIcon icon;
  for (int size : kIconSizes) icon.addPixmap(iconPixmap(size));
  return icon;
}

QPixmap programBanner() {
  QPixmap banner(kBannerWidth, kBannerHeight);
  QPainter painter(&banner);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient back(0, 0, 0, kBannerHeight);
  back.setColorAt(0, kBannerTop);
  back.setColorAt(1, kBannerBottom);
  painter.fillRect(banner.rect(), back);
  const int iconTop = (kBannerHeight - kBannerIconSize) / 2;
  painter.drawPixmap(kBannerMargin, iconTop, iconPixmap(kBannerIconSize));

  const int textLeft = kBannerMargin * 2 + kBannerIconSize;
  const QRect textArea(textLeft, kBannerMargin, kBannerWidth - textLeft - kBannerMargin,
                       kBannerHeight - 2 * kBannerMargin);
  QFont title = painter.font();
  title.setPointSize(kTitlePoints);
  title.setBold(true);
  painter.setFont(title);
  painter.setPen(kBannerText);
  painter.drawText(textArea, Qt::AlignLeft | Qt::AlignTop, "Pivora J");
  QFont subtitle = painter.font();
  subtitle.setPointSize(kSubtitlePoints);
  subtitle.setBold(false);
  painter.setFont(subtitle);
  painter.setPen(kBannerSubtitle);
  painter.drawText(textArea, Qt::AlignLeft | Qt::AlignBottom, "Motion editor for servo robots");
  return banner;
}

}  // namespace pvrj
