#pragma once

#include <QObject>
#include <QSize>

class QMainWindow;
class QPlainTextEdit;
class QScrollArea;
class QWidget;

// How the window's page meets a screen with less room than the page asks for. The log, the one part of the page
// that can show more or less of itself, gives up height first, down to five lines; with less room still the page
// scrolls, in a frameless scroll area that brings each control the keyboard reaches into view. Where the page fits
// it stays exactly as laid out.
// A QObject so that what it connects ends with it, before the window's own destruction reports focus changes.
class PageFit : public QObject {
public:
    PageFit(QMainWindow* window, QWidget* page, QPlainTextEdit* log);

    // Lays the page out for `room`, the space below the menu bar inside the window's frame.
    void fit(QSize room);

private:
    void scroll(bool needed);

    QMainWindow* window;
    QWidget* page;
    QPlainTextEdit* log;
    QSize pageSize; // as the page asks for it, with the whole log
    int logHeight;
    QScrollArea* scroller = nullptr; // while the page scrolls
};
