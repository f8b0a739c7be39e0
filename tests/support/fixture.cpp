#include "support/fixture.h"

#include "agent/agent_contract.h"
#include "platform/bundle_location.h"
#include "setup/setup_controller.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <plist/plist.h>

TemporaryHome::TemporaryHome() : previousHome(qgetenv("HOME"))
{
    qputenv("HOME", QFile::encodeName(dir.path()));
}

TemporaryHome::~TemporaryHome()
{
    qputenv("HOME", previousHome);
}

StagedInstall::StagedInstall(const QString& parent, const QString& name) : root(QDir::cleanPath(parent + u'/' + name))
{
    QDir().mkpath(bundle());
    QDir().mkpath(root + u'/' + AgentContract::distFolderName);
    platform::setBundlePathForTesting(bundle());
}

StagedInstall::~StagedInstall()
{
    platform::setBundlePathForTesting(std::nullopt);
}

QString StagedInstall::agentPath() const
{
    return root + u'/' + AgentContract::distFolderName + u'/' + AgentContract::executableName;
}

void StagedInstall::writeAgentScript(const QString& body) const
{
    writeExecutable(agentPath(), "#!/bin/sh\n" + body.toUtf8() + "\n");
}

void writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        qFatal("could not write %s", qPrintable(path));
}

void writeExecutable(const QString& path, const QByteArray& contents)
{
    writeFile(path, contents);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
}

QStringList recordedLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text.split(u'\n');
}

QString recordArguments(const QString& file)
{
    return "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" + file + "'";
}

QByteArray propertyList(const QStringList& programArguments, PlistFormat format)
{
    plist_t root = plist_new_dict();
    plist_t arguments = plist_new_array();
    for (const QString& argument : programArguments)
        plist_array_append_item(arguments, plist_new_string(argument.toUtf8().constData()));
    plist_dict_set_item(root, "ProgramArguments", arguments);
    char* data = nullptr;
    uint32_t length = 0;
    format == PlistFormat::xml ? plist_to_xml(root, &data, &length) : plist_to_bin(root, &data, &length);
    QByteArray bytes(data, static_cast<qsizetype>(length));
    free(data);
    plist_free(root);
    return bytes;
}

void writeRegistration(const QString& home, const QStringList& programArguments, PlistFormat format)
{
    writeFile(home + u'/' + AgentContract::launchAgentPropertyListPath, propertyList(programArguments, format));
}

bool waitForRunEnd(SetupController& controller, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (controller.child && !deadline.hasExpired())
        QTest::qWait(5);
    return controller.child == nullptr;
}

ModalDriver::ModalDriver(std::function<void(QWidget*)> action, int timeoutMs) : timer(new QTimer)
{
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [this, action, clock, timeoutMs, called = called] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            *called = true;
            action(modal);
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
        }
    });
    timer->start(10);
}

ModalDriver::~ModalDriver()
{
    delete timer;
}

QString buttonStates(const SetupController& c)
{
    QString states;
    for (const QPushButton* button : {c.setupButton, c.repairButton, c.chooseButton, c.openProjectButton, c.uninstallButton})
        states += button->isEnabled() ? u'E' : u'-';
    return states;
}

bool statusIsRed(const SetupController& c)
{
    const QColor color = c.statusLabel->palette().color(QPalette::WindowText);
    const int hue = color.hslHue();
    return color.hslSaturation() > 128 && (hue < 15 || hue > 345);
}

SetupController& FixtureTest::start()
{
    c = std::make_unique<SetupController>();
    return *c;
}

void FixtureTest::init()
{
    home = std::make_unique<TemporaryHome>();
    install = std::make_unique<StagedInstall>(home->filePath(QStringLiteral("Applications")));
    install->writeAgentScript(QStringLiteral("exit 0"));
}

void FixtureTest::cleanup()
{
    c.reset();
    install.reset();
    home.reset();
}
