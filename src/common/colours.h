#pragma once

#include <QColor>
#include <cstdint>

class QWidget;

// Colours are kept as the controller software's 0x00BBGGRR words so that captions, docs and
// tests speak the same numbers; 0x8000000F is the platform's button face, not a literal.
namespace Bgr {
inline constexpr std::uint32_t ButtonFace = 0x8000000F;
inline constexpr std::uint32_t PanelGrey = 0x00E0E0E0;
inline constexpr std::uint32_t LightYellow = 0x00C0FFFF;
inline constexpr std::uint32_t LightOrange = 0x0080C0FF;
inline constexpr std::uint32_t Yellow = 0x0000FFFF;
inline constexpr std::uint32_t Green = 0x0000FF00;
inline constexpr std::uint32_t LightGreen = 0x00C0FFC0;
inline constexpr std::uint32_t LightRed = 0x008080FF;
inline constexpr std::uint32_t LightCyan = 0x00FFFFC0;
inline constexpr std::uint32_t ClearButton = 0x00FFFF80;
inline constexpr std::uint32_t Red = 0x000000FF;
inline constexpr std::uint32_t White = 0x00FFFFFF;
}  // namespace Bgr

// Turns a 0x00BBGGRR word into a colour; the button-face word maps to the default palette.
QColor colourFromBgr(std::uint32_t bgr);

// Paints a widget's background (buttons, labels, frames) and records the word in the widget's
// "backColour" property, so that tests and screenshots can read back exactly what was set.
void setBackColour(QWidget* widget, std::uint32_t bgr);
std::uint32_t backColour(const QWidget* widget);

// RGB triple as the setup window's tables give them.
constexpr std::uint32_t bgrFromRgb(int r, int g, int b) {
    return static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) |
           (static_cast<std::uint32_t>(b) << 16);
}
