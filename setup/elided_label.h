#pragma once

#include <QLabel>

// A one-line label that keeps its whole text but, when it is wider than the
// label, draws it with the middle left out, so both ends of a path stay readable.
class MiddleElidedLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};
