#include "setup/focus_frame.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QWidget>

void drawFocusFrame(QWidget* widget, QPainter& painter)
{
    if (!widget->hasFocus())
        return;
    QStyleOptionFocusRect focus;
    focus.initFrom(widget);
    focus.backgroundColor = widget->palette().color(widget->backgroundRole());
    widget->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, widget);
}
