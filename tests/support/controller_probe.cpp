#include "support/controller_probe.h"

#include "setup/setup_controller.h"
#include "setup/setup_window.h"
#include "setup/status_colors.h"

#include <QLabel>
#include <QPushButton>

QString buttonStates(const SetupController& c)
{
    QString states;
    for (const QPushButton* button : {c.setupButton, c.repairButton, c.chooseButton, c.openProjectButton, c.uninstallButton})
        states += button->isEnabled() ? u'E' : u'-';
    return states;
}

static QColor statusTextColor(const SetupController& c)
{
    return c.statusLabel->palette().color(QPalette::WindowText);
}

bool statusIsError(const SetupController& c)
{
    return statusTextColor(c) == statusColor(true, c.window->palette());
}

bool statusIsSecondary(const SetupController& c)
{
    return statusTextColor(c) == statusColor(false, c.window->palette());
}
