#pragma once

#include <QObject>
#include <QString>
#include <optional>

class QWidget;
class StatusLine;

// Tells a screen reader a line of the status line once, wherever the keyboard
// focus is, without moving it. The rest of the program says "announce this";
// how it reaches the reader depends on what the toolkit and the reader of the
// release can do, and lives here alone.
class Announcer : public QObject {
    Q_OBJECT

public:
    Announcer(QWidget* window, StatusLine* statusLine);

    // The line the window shows now; an error may interrupt what is being said.
    void announce(const QString& text, bool urgent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void deliver();
    void speak(const QString& text, bool urgent);

    StatusLine* statusLine;
    QWidget* notice = nullptr; // the reader's notification object, where the release needs one
    std::optional<QString> pending; // the line still to tell
    bool pendingUrgent = false;
};
