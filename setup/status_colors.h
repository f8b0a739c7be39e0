#pragma once

#include <QColor>
#include <QPalette>

// The status line's colour: a red that reads well on the palette's window
// colour for errors, the palette's secondary text colour otherwise.
QColor statusColor(bool error, const QPalette& palette);
