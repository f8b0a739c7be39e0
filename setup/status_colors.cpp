#include "setup/status_colors.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double minimumContrast = 4.5;
constexpr int mixSteps = 64;

// Relative luminance as WCAG 2 defines it, from sRGB.
double luminance(const QColor& colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

double contrast(const QColor& a, const QColor& b)
{
    const double first = luminance(a), second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

// In the 8 bits a channel is drawn with, so the contrast is that of what is seen.
QColor mix(const QColor& from, const QColor& to, double share)
{
    const auto channel = [share](double a, double b) { return int(std::lround((a + (b - a) * share) * 255)); };
    return QColor(
        channel(from.redF(), to.redF()), channel(from.greenF(), to.greenF()), channel(from.blueF(), to.blueF()));
}

} // namespace

QColor statusColor(bool error, const QPalette& palette)
{
    const QColor background = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::WindowText);
    const bool darkBackground = luminance(background) < luminance(text);
    QColor colour;
    if (error) {
        colour = darkBackground ? QColor(0xFF, 0x6B, 0x61) : QColor(0xC4, 0x10, 0x1C);
    } else {
        // The palette's secondary colour is often the text colour half
        // transparent: what is seen is that over the background.
        const QColor secondary = palette.color(QPalette::PlaceholderText);
        colour = mix(background, secondary, secondary.alphaF());
    }
    const QColor start = colour;
    for (int step = 1; step <= mixSteps && contrast(colour, background) < minimumContrast; ++step)
        colour = mix(start, text, double(step) / mixSteps);
    return colour;
}
