#pragma once

#include "uninstall/program_removal.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QProcess;
class QPushButton;
class Announcer;
class SetupWindow;
struct AgentRunState;

// The one controller of the program: it owns the window, every view in it and
// all state of the process. Its operations live beside the subsystem they
// belong to (setup/, agent/, install/, uninstall/).
class SetupController : public QObject {
    Q_OBJECT

public:
    using RunCompletion = std::function<void(bool succeeded)>;

    SetupController();
    ~SetupController() override;

    SetupWindow* window;
    QLabel* folderLabel;
    QLabel* statusLabel;
    QPlainTextEdit* log;
    QPushButton* setupButton;
    QPushButton* repairButton;
    QPushButton* chooseButton;
    QPushButton* openProjectButton;
    QPushButton* uninstallButton;
    std::optional<QString> folder; // the project folder's path
    QProcess* child = nullptr; // the agent run in progress
    bool childSucceeded = false;
    bool extensionInstalled = false;
    bool repairAvailable = false;
    std::optional<ProgramRemoval> pendingProgramRemoval;

    // The header image and the two link buttons, for tests; the image is null
    // when the bundle holds none.
    QLabel* headerImage = nullptr;
    QPushButton* helpLinkButton = nullptr;
    QPushButton* supportLinkButton = nullptr;

    // The window (setup/).
    void buildUI();
    void setStatus(const QString& text, bool error);
    void append(const QString& text);
    void setBusy(bool busy);
    void updateControls();
    void chooseFolder();
    void updateSetupReadiness();

    // The agent (agent/).
    void run(const QString& bin, const QStringList& args, RunCompletion completion);
    void consume(QByteArrayView line); // one line of the agent's output, without its line feed

    // Set-up, repair, VS Code, help and support (install/).
    void setUpAgent();
    void repair();
    void openProject();
    void openHelp();
    void openSupport();

    // Uninstall (uninstall/).
    void uninstall();
    void finishUninstall(const ProgramRemoval& plan);

private:
    void buildLayout();
    void setStartUpState();
    void pressReturn();
    QPushButton* returnTarget() const;
    void showReturnTarget();
    void setFolder(const QString& path);
    void finishAgentRun(QProcess* process, const std::shared_ptr<AgentRunState>& run);
    void consumeBatch(const QList<QByteArrayView>& lines);
    void addToLog(const QString& lines);
    void startSetupOrRepair(const QString& agent, const QStringList& arguments, const QString& runningLine,
        const QString& failureLineStart);
    void completeSetupOrRepair(bool ok, const QString& failureLineStart);

    // What the idle window offers, as the operation that last decided it left
    // it; see updateControls.
    bool busy = false; // an agent runs or files are being removed
    bool setupOffered = false;
    bool repairOffered = false;
    bool uninstallOffered = true;
    bool projectOpenable = false; // the last agent run was a set-up or repair that succeeded

    Announcer* announcer; // tells a screen reader each status line

    // While the lines of one read are consumed, their entries gather here and go
    // into the log at once: inserting text costs the same whether it is one
    // entry or a thousand.
    std::optional<QString> logBatch;
};
