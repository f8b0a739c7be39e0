#include "support/fixture.h"

#include "agent/agent_contract.h"
#include "platform/bundle_location.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <plist/plist.h>

StagedInstall::StagedInstall(const QString& parent, const QString& name)
    : installDir(QDir::cleanPath(parent + u'/' + name)), bundle(installDir + "/Halden Setup")
{
    QDir().mkpath(bundle);
    QDir().mkpath(installDir + u'/' + AgentContract::distFolderName);
    platform::setBundlePathForTesting(bundle);
}

StagedInstall::~StagedInstall()
{
    platform::setBundlePathForTesting(std::nullopt);
}

QString StagedInstall::agentPath() const
{
    return installDir + u'/' + AgentContract::distFolderName + u'/' + AgentContract::executableName;
}

void StagedInstall::writeAgentScript(const QString& body) const
{
    writeExecutable(agentPath(), "#!/bin/sh\n" + body.toUtf8() + "\n");
}

void writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("could not write %s", qPrintable(path));
}

void writeExecutable(const QString& path, const QByteArray& contents)
{
    writeFile(path, contents);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
}

QStringList recordedLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    return text.isEmpty() ? QStringList{} : text.chopped(text.endsWith(u'\n') ? 1 : 0).split(u'\n');
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
    const QByteArray bytes(data, static_cast<qsizetype>(length));
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
    const QDeadlineTimer deadline(timeoutMs);
    while (controller.child && !deadline.hasExpired())
        QTest::qWait(5);
    return controller.child == nullptr;
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
    return color.hslSaturation() > 128 && (color.hslHue() < 15 || color.hslHue() > 345);
}

SetupController& FixtureTest::start()
{
    c = std::make_unique<SetupController>();
    return *c;
}

void FixtureTest::answerModals(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer(this); // stopped with the test
    connect(timer, &QTimer::timeout, [action] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible())
            action(modal);
    });
    timer->start(10);
}

void FixtureTest::init()
{
    home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", QFile::encodeName(home->path()));
    install = std::make_unique<StagedInstall>(home->filePath("Applications"));
    install->writeAgentScript("exit 0");
}

void FixtureTest::cleanup()
{
    qDeleteAll(findChildren<QTimer*>(Qt::FindDirectChildrenOnly));
    // A test that ended the program outside an event loop left the loops
    // told to quit at once; running the application's loop clears that.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    c.reset();
    install.reset();
    home.reset();
}
