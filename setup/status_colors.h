#pragma once

#include <QColor>
#include <QPalette>

// The status line's colour on the palette's window colour: for errors a red,
// otherwise the palette's secondary text colour; either moved toward the
// main text colour just as far as it takes to reach a contrast of 4.5:1
// (WCAG's level AA for text of this size), so the normal line still reads as
// secondary to the main text.
QColor statusColor(bool error, const QPalette& palette);
