#pragma once

#include <QMainWindow>
#include <memory>

class PageFit;
class QPlainTextEdit;

// The setup window: its page (the content below a menu bar that sits inside
// the window) is 620 × 580, grows only where a large desktop font needs more
// room, and cannot be resized by the user. It opens centred on its screen,
// its frame within the screen's free area, and takes no more room than that
// area has (page_fit.h). While the
// controller is busy a request to close it is refused; otherwise closing it
// ends the program.
class SetupWindow : public QMainWindow {
    Q_OBJECT

public:
    SetupWindow();
    ~SetupWindow() override;

    // The page and its log, the part of it that may give up height where the screen is small.
    void setPage(QWidget* page, QPlainTextEdit* log);

    // Whether the close button acts (false while an agent runs or files are removed).
    bool isCloseEnabled() const { return closeEnabled; }
    void setCloseEnabled(bool enabled);

    void centerOnScreen();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool closeEnabled = true;
    std::unique_ptr<PageFit> pageFit;
};
