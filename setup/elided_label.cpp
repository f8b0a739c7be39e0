#include "setup/elided_label.h"

#include "setup/focus_frame.h"

#include <QPainter>
#include <QStyle>

void MiddleElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    style()->drawItemText(
        &painter, area, Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(), shown, foregroundRole());
    drawFocusFrame(this, painter);
}
