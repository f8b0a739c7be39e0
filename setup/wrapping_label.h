#pragma once

#include <QLabel>
#include <optional>

// A label of fixed width whose plain text wraps and asks its layout for
// exactly the height the text needs at that width: a longer text makes room
// for itself instead of being cut off. It is in the tab chain and, as a text
// field does, selects its whole text when reached from the keyboard, so Copy
// takes all of it; it draws no text caret, as it cannot be edited.
class WrappingLabel : public QLabel {
    Q_OBJECT

public:
    WrappingLabel(const QString& text, int width);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override; // with the focus frame
};

// The status line: a wrapping label that a screen reader knows as the
// window's status bar, in the secondary or the error colour of whatever
// palette the window has now.
class StatusLine : public WrappingLabel {
    Q_OBJECT

public:
    explicit StatusLine(int width);
    void setStatus(const QString& text, bool error);

    // What a screen reader last read of it since it last took the focus, if
    // anything; the focus is the window's, also while the window is inactive.
    const std::optional<QString>& readSinceFocus() const { return lastRead; }
    void noteRead();

protected:
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void recolour();
    bool error = false;
    std::optional<QString> lastRead;
};
