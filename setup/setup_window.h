#pragma once

#include <QMainWindow>

// The setup window: its page (the content below a menu bar that sits inside
// the window) is 620 × 580, grows only where a large desktop font needs more
// room, and cannot be resized by the user; it opens centred. While the
// controller is busy a request to close it is refused; otherwise closing it
// ends the program.
class SetupWindow : public QMainWindow {
    Q_OBJECT

public:
    SetupWindow();

    void setPage(QWidget* page);

    // Whether the close button acts (false while an agent runs or files are removed).
    bool isCloseEnabled() const { return closeEnabled; }
    void setCloseEnabled(bool enabled);

    void centerOnScreen();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool closeEnabled = true;
};
