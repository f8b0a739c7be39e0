#pragma once

#include <QMainWindow>

// The setup window: fixed 620 × 580, not resizable, centred. While the
// controller is busy a request to close it is refused; otherwise closing it
// ends the program.
class SetupWindow : public QMainWindow {
    Q_OBJECT

public:
    SetupWindow();

    // Whether the close button acts (false while an agent runs or files are removed).
    bool isCloseEnabled() const { return closeEnabled; }
    void setCloseEnabled(bool enabled) { closeEnabled = enabled; }

    void centerOnScreen();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool closeEnabled = true;
};
