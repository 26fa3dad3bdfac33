// The program's icon and the information window's banner, drawn from the icon built into the
// program.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace pvrj {

// The banner's size.
inline constexpr int kBannerWidth = 285;
inline constexpr int kBannerHeight = 60;

// Every size of the icon, for the windows and the desktop.
QIcon programIcon();
// The banner across the top of the information window.
QPixmap programBanner();

}  // namespace pvrj
