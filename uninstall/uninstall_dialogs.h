#pragma once

#include <QDialog>
#include <QString>

#include "uninstall/program_removal.h"

class QCheckBox;
class QWidget;

// What the confirmation says will be removed: one paragraph, the plan's
// sentence in the middle.
QString uninstallConfirmationText(const ProgramRemoval& plan);

// The confirmation before an uninstall: what will be removed, and the two
// optional removals. "Uninstall" is the default button.
class UninstallConfirmation : public QDialog {
    Q_OBJECT

public:
    UninstallConfirmation(const QString& informativeText, bool historyAvailable, QWidget* parent);

    QCheckBox* removeCredentials;
    QCheckBox* removeHistory;
};

// The notice after a successful uninstall, with its one "Close" button.
void showUninstallFinished(QWidget* parent);
