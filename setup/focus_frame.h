#pragma once

class QPainter;
class QWidget;

// Draws the focus around a widget that the style would otherwise leave plain
// (a label reached with the keyboard), as the style draws it around an item.
void drawFocusFrame(QWidget* widget, QPainter& painter);
