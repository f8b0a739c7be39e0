#include "setup/wrapping_label.h"

WrappingLabel::WrappingLabel(const QString& text, int width)
    : QLabel(text)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setFixedWidth(width);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::StrongFocus); // reached with Tab, so it can be read and copied from the keyboard
}

QSize WrappingLabel::sizeHint() const { return { maximumWidth(), heightForWidth(maximumWidth()) }; }

QSize WrappingLabel::minimumSizeHint() const { return sizeHint(); }
