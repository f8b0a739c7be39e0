#pragma once

#include <QLabel>

// A label of fixed width whose plain text wraps, is in the tab chain and can
// be selected with mouse and keyboard, and asks its layout for exactly the height the text needs at
// that width: a longer text makes room for itself instead of being cut off.
class WrappingLabel : public QLabel {
    Q_OBJECT

public:
    WrappingLabel(const QString& text, int width);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};
