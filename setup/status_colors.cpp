#include "setup/status_colors.h"

QColor statusColor(bool error, const QPalette& palette)
{
    if (!error)
        return palette.color(QPalette::PlaceholderText);
    // Both reds keep a contrast above 4.5:1 against their background.
    const bool darkBackground = palette.color(QPalette::Window).lightness() < 128;
    return darkBackground ? QColor(0xFF, 0x6B, 0x61) : QColor(0xC4, 0x10, 0x1C);
}
