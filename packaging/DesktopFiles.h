// The desktop entry, chart MIME type and icons that an install puts under share/, built into the
// program as well, so that the editor can register them for one user.
#pragma once

#include <array>
#include <string_view>

namespace pvrj {

// The names the program and its files go by on the desktop.
inline constexpr std::string_view kDesktopId = "org.example.PivoraJ";
inline constexpr std::string_view kDesktopEntryName = "org.example.PivoraJ.desktop";
inline constexpr std::string_view kMimePackageName = "org.example.PivoraJ.xml";
inline constexpr std::string_view kChartMimeType = "application/x-pivora-chart";
inline constexpr std::string_view kIconName = "org.example.PivoraJ";
inline constexpr std::string_view kScalableIconName = "org.example.PivoraJ.svg";
// The square PNG sizes of the icon, each in "org.example.PivoraJ-N.png".
inline constexpr std::array<int, 8> kIconSizes{16, 22, 24, 32, 48, 64, 128, 256};

// The bytes of a file of packaging/ by its file name ("org.example.PivoraJ.desktop",
// "org.example.PivoraJ.xml", "org.example.PivoraJ.svg", "org.example.PivoraJ-48.png"); empty for
// a name it does not hold.
std::string_view embeddedDesktopFile(std::string_view name);

}  // namespace pvrj
