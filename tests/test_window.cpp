#include "app/globals.h"
#include "app/main_menu.h"
#include "install/setup_texts.h"
#include "setup/setup_window.h"
#include "setup/window_texts.h"
#include "support/fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDirIterator>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace {

QList<QWidget*> statusChanges;

// Contrast of two colours as the web's accessibility guidelines define it.
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QStringList filesUnder(const QString& folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories); it.hasNext();)
        files << it.next();
    files.sort();
    return files;
}

} // namespace

class WindowTest : public FixtureTest {
    Q_OBJECT

private slots:
    void initTestCase();
    void startUpState_data();
    void startUpState();
    void busyStateAndReadiness_data();
    void busyStateAndReadiness();
    void nothingClipsAtDesktopFontSizes_data();
    void nothingClipsAtDesktopFontSizes();
    void logAndStatusLine();
    void editCommandsFromTheKeyboard();
    void closeAndQuit();
    void returnPressesSetupOnlyWhenEnabled();
    void folderPanelTakesTheChoiceAndWritesNothing();
    void headerImageFitsItsSquare_data();
    void headerImageFitsItsSquare();
    void screenReaderSeesEveryControl();
};

void WindowTest::initTestCase()
{
    // As when a screen reader runs: Qt then reports changes to it.
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
        if (event->type() == QAccessible::NameChanged)
            statusChanges << qobject_cast<QWidget*>(event->object());
    });
}

void WindowTest::startUpState_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("states");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("red");
    const QString missing = "Program components not found. Reinstall Tervan Halden Beta, then reopen Setup.";
    QTest::newRow("agent missing") << "no agent" << "--E--" << missing << true;
    QTest::newRow("folder misnamed") << "misnamed" << "--E--" << missing << true;
    QTest::newRow("no installation") << "" << "--E-E" << WindowTexts::chooseFolderToStart << false;
    QTest::newRow("existing installation") << "registered" << "-EE-E"
                                           << "Existing Halden installation found. Repairing the local agent…" << false;
}

void WindowTest::startUpState()
{
    QFETCH(QString, situation);
    QFETCH(QString, states);
    QFETCH(QString, status);
    QFETCH(bool, red);
    const QString runs = home->filePath("runs");
    const QString project = home->filePath("project");
    QDir().mkpath(project);
    install->writeAgentScript("echo \"$1\" >> '" + runs + "'; echo '{\"step\":\"done\",\"status\":\"ok\"}'");
    std::optional<StagedInstall> misnamed;
    if (situation == "no agent")
        QFile::remove(install->agentPath());
    if (situation == "misnamed")
        misnamed.emplace(home->path(), "Tervan Halden Beta copy"), misnamed->writeAgentScript("exit 0");
    if (situation == "registered")
        writeRegistration(home->path(), {"/agent", "--allow-root", project});
    start();
    QCOMPARE(buttonStates(*c), states);
    QCOMPARE(c->statusLabel->text(), status);
    QCOMPARE(statusIsRed(*c), red);
    QVERIFY(!c->child); // a repair starts only once the event loop runs
    QCOMPARE(c->folderLabel->text(), situation == "registered" ? project : QStringLiteral("No project folder chosen"));
    QTest::qWait(50);
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(recordedLines(runs), situation == "registered" ? QStringList{"--repair"} : QStringList{});
    if (situation == "registered") // afterwards both are offered: a folder is set and repair is available
        QCOMPARE(buttonStates(*c), QStringLiteral("EEEEE"));
}

void WindowTest::busyStateAndReadiness_data()
{
    QTest::addColumn<QString>("given"); // of "folder", "repair", "pending", "running"
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("states");
    QTest::addColumn<QString>("status");
    const QString before = WindowTexts::chooseFolderToStart;
    QTest::newRow("busy") << "folder repair" << "busy" << "-----" << before;
    QTest::newRow("idle, no folder") << "" << "idle" << "--EEE" << before;
    QTest::newRow("idle, folder") << "folder" << "idle" << "E-EEE" << before;
    QTest::newRow("idle, repair available") << "folder repair" << "idle" << "EEEEE" << before;
    QTest::newRow("idle, removal pending") << "folder repair pending" << "idle" << "---EE" << before;
    QTest::newRow("ready") << "folder repair" << "ready" << "EEEEE" << WindowTexts::readyToSetUp;
    QTest::newRow("ready, no folder") << "repair" << "ready" << "--EEE" << WindowTexts::folderRequired;
    QTest::newRow("ready while an agent runs") << "folder repair running" << "ready" << "--EEE" << before;
    QTest::newRow("ready, removal pending") << "folder repair pending" << "ready" << "--EEE" << before;
}

void WindowTest::busyStateAndReadiness()
{
    QFETCH(QString, given);
    QFETCH(QString, action);
    QFETCH(QString, states);
    QFETCH(QString, status);
    start();
    if (given.contains("folder"))
        c->folder = home->path();
    c->repairAvailable = given.contains("repair");
    if (given.contains("pending"))
        c->pendingProgramRemoval = ProgramRemoval::shared();
    QProcess running;
    if (given.contains("running"))
        c->child = &running;
    c->openProjectButton->setEnabled(true); // only a finished run may change it
    if (action == "ready")
        c->updateSetupReadiness();
    else
        c->setBusy(action == "busy");
    c->child = nullptr;
    QCOMPARE(buttonStates(*c), states);
    QCOMPARE(c->statusLabel->text(), status);
    QCOMPARE(c->window->isCloseEnabled(), action != "busy");
}

void WindowTest::nothingClipsAtDesktopFontSizes_data()
{
    QTest::addColumn<int>("points");
    for (const int points : {9, 10, 11, 12, 14})
        QTest::addRow("%d pt", points) << points;
}

void WindowTest::nothingClipsAtDesktopFontSizes()
{
    QFETCH(int, points);
    const QFont desktop = QApplication::font();
    QFont font = desktop;
    font.setPointSize(points);
    QApplication::setFont(font);
    QFile::copy(HALDEN_RESOURCES_DIR "/HaldenInstaller.png", install->bundle() + "/HaldenInstaller.png");
    start();
    c->window->setMenuBar(makeSetupMenu()); // as the program starts
    c->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(c->window));
    for (int i = 0; i < 40; ++i)
        c->append("✓ register: line " + QString::number(i));
    for (const QString& status : {setupCompletionMessage(true), SetupTexts::setupFailedStart + supportAddress + "."}) {
        c->setStatus(status, true);
        QTest::qWait(20);
        QWidget* page = c->window->centralWidget();
        QVERIFY(page->y() >= c->window->menuBar()->height());
        QVERIFY(page->geometry().bottom() < c->window->height());
        QVERIFY(page->width() >= 620 && page->height() >= 580);
        if (points == 9) // larger fonts may need more room, depending on the desktop's font
            QCOMPARE(page->size(), QSize(620, 580));
        const QRect inside = page->rect().adjusted(20, 20, -20, -20);
        for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect placed(child->mapTo(page, QPoint()), child->size());
            QVERIFY2(inside.contains(placed), qPrintable(child->metaObject()->className() + (": " + child->objectName())));
            const bool eliding = child == c->folderLabel;
            if (!eliding && (qobject_cast<QLabel*>(child) || qobject_cast<QPushButton*>(child)))
                QVERIFY2(child->width() >= child->sizeHint().width() && child->height() >= child->sizeHint().height(),
                         qPrintable(child->property("text").toString()));
        }
    }
    QApplication::setFont(desktop);
}

void WindowTest::logAndStatusLine()
{
    start();
    c->append("x");
    QCOMPARE(c->log->toPlainText(), QStringLiteral("x\n"));
    c->log->clear();
    c->append("a");
    c->append("b");
    QCOMPARE(c->log->toPlainText(), QStringLiteral("a\nb\n"));
    c->window->show();
    for (int i = 0; i < 200; ++i)
        c->append(QString::number(i));
    QScrollBar* bar = c->log->verticalScrollBar();
    QVERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
    const QFontMetricsF metrics(c->log->font());
    QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W')); // a fixed-pitch font

    for (const QColor& background : {QColor(Qt::white), QColor(0x26, 0x26, 0x28)}) {
        QPalette palette = c->window->palette();
        palette.setColor(QPalette::Window, background);
        c->window->setPalette(palette);
        c->setStatus("failed", true);
        QVERIFY(statusIsRed(*c));
        QVERIFY(contrast(c->statusLabel->palette().color(QPalette::WindowText), background) >= 4.5);
        c->setStatus("fine", false);
        QCOMPARE(c->statusLabel->text(), QStringLiteral("fine"));
        QCOMPARE(c->statusLabel->palette().color(QPalette::WindowText), palette.color(QPalette::PlaceholderText));
    }
    QCOMPARE(c->log->toPlainText().count(u'\n'), 202); // the status line never writes the log
}

void WindowTest::editCommandsFromTheKeyboard()
{
    QTest::failOnWarning(QRegularExpression("^(?!This plugin does not support)")); // "No such method" and the like
    start();
    QMenuBar* menu = makeSetupMenu();
    c->window->setMenuBar(menu);
    c->window->show();
    QVERIFY(QTest::qWaitForWindowActive(c->window));
    c->append("✓ register: done");
    c->setStatus(SetupTexts::setupFailedStart + supportAddress + ".", true);
    const QList<QAction*> edit = menu->actions().at(1)->menu()->actions(); // Undo, Cut, Copy, Paste, Select All
    for (QWidget* focused : QWidgetList{c->statusLabel, c->log, c->chooseButton}) {
        for (const bool fromMenu : {false, true}) {
            QApplication::clipboard()->setText("before");
            focused->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), focused);
            for (const int item : {4, 2, 3}) {
                if (fromMenu)
                    edit[item]->trigger();
                else
                    QTest::keySequence(c->window, edit[item]->shortcut());
            }
            const QString text = focused == c->log ? c->log->toPlainText() : focused == c->statusLabel ? c->statusLabel->text() : "before";
            QCOMPARE(QApplication::clipboard()->text(), text);
        }
    }
    QCOMPARE(c->log->toPlainText(), QStringLiteral("✓ register: done\n")); // the log takes no paste
    QStringList titles;
    for (QAction* item : edit)
        titles << item->text();
    QCOMPARE(titles, (QStringList{"Undo", "Cut", "Copy", "Paste", "Select All"}));
    QVERIFY(!(c->folderLabel->textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard)));
}

void WindowTest::closeAndQuit()
{
    install->writeAgentScript("sleep 30");
    start();
    QMenuBar* menu = makeSetupMenu();
    c->window->setMenuBar(menu);
    c->window->show();
    c->folder = home->path();
    c->setUpAgent();
    QVERIFY(!c->window->close()); // busy: refused
    QVERIFY(c->window->isVisible());
    QAction* quit = menu->actions().first()->menu()->actions().first();
    QCOMPARE(quit->text(), QStringLiteral("Quit Halden Setup"));
    QTimer::singleShot(0, quit, &QAction::trigger); // quits while the agent runs
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
    c->child->kill();
    QVERIFY(waitForRunEnd(*c));

    bool closed = false;
    QTimer::singleShot(0, [&] { closed = c->window->close(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0); // closing the idle window ends the program
    QVERIFY(closed);
}

void WindowTest::returnPressesSetupOnlyWhenEnabled()
{
    install->writeAgentScript("echo '{\"step\":\"done\",\"status\":\"ok\"}'");
    start();
    c->window->show();
    QVERIFY(QTest::qWaitForWindowActive(c->window));
    QSignalSpy pressed(c->setupButton, &QPushButton::clicked);
    QTest::keyClick(c->window, Qt::Key_Return);
    QCOMPARE(pressed.count(), 0);
    c->folder = home->path();
    c->updateSetupReadiness();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(c->window, key);
        QVERIFY(waitForRunEnd(*c));
    }
    QCOMPARE(pressed.count(), 2);
}

void WindowTest::folderPanelTakesTheChoiceAndWritesNothing()
{
    const QString project = home->filePath("my project ü");
    QDir().mkpath(project);
    start();
    c->window->show();
    const QStringList filesBefore = filesUnder(home->path());
    ModalDriver cancel([](QWidget* panel) { qobject_cast<QDialog*>(panel)->reject(); });
    c->chooseFolder();
    QVERIFY(cancel.wasCalled() && !c->folder);
    QString seen;
    ModalDriver choose([&](QWidget* modal) {
        auto* panel = qobject_cast<QFileDialog*>(modal);
        seen = panel->labelText(QFileDialog::Accept) + " | " + panel->windowTitle();
        QVERIFY(panel->fileMode() == QFileDialog::Directory && panel->isModal());
        panel->setDirectory(project);
        QMetaObject::invokeMethod(panel, "accept");
    });
    c->chooseFolder();
    QCOMPARE(seen, "Authorize | " + WindowTexts::folderPanelMessage);
    QCOMPARE(c->folder, project);
    QCOMPARE(c->folderLabel->text(), project);
    QCOMPARE(buttonStates(*c), QStringLiteral("E-E-E"));
    QCOMPARE(c->statusLabel->text(), WindowTexts::readyToSetUp);
    c.reset();
    QCOMPARE(filesUnder(home->path()), filesBefore); // no settings file, nothing else
}

void WindowTest::headerImageFitsItsSquare_data()
{
    QTest::addColumn<QSize>("drawn");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("none") << QSize() << QSize();
    QTest::newRow("small, wide") << QSize(20, 10) << QSize(56, 28);
    QTest::newRow("large, tall") << QSize(100, 200) << QSize(28, 56);
    QTest::newRow("square") << QSize(56, 56) << QSize(56, 56);
}

void WindowTest::headerImageFitsItsSquare()
{
    QFETCH(QSize, drawn);
    QFETCH(QSize, shown);
    if (drawn.isValid()) {
        QImage image(drawn, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(install->bundle() + "/HaldenInstaller.png"));
    }
    start();
    QCOMPARE(c->headerImage != nullptr, drawn.isValid());
    if (c->headerImage)
        QCOMPARE(c->headerImage->pixmap().deviceIndependentSize().toSize(), shown);
}

void WindowTest::screenReaderSeesEveryControl()
{
    QFile::copy(HALDEN_RESOURCES_DIR "/HaldenInstaller.png", install->bundle() + "/HaldenInstaller.png");
    start();
    c->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(c->window));
    const auto text = [](QWidget* w, QAccessible::Text kind) { return QAccessible::queryAccessibleInterface(w)->text(kind); };
    QList<QWidget*> focusable;
    for (QWidget* w = c->window->nextInFocusChain(); w != c->window; w = w->nextInFocusChain())
        if (w->isVisible() && (w->focusPolicy() & Qt::TabFocus) && !qobject_cast<QScrollBar*>(w)) {
            focusable << w;
            QVERIFY2(!text(w, QAccessible::Name).isEmpty(), w->metaObject()->className());
        }
    QList<QWidget*> visual = focusable;
    const auto place = [this](QWidget* w) { const QPoint p = w->mapTo(c->window, QPoint()); return std::pair(p.y(), p.x()); };
    std::stable_sort(visual.begin(), visual.end(), [&](QWidget* a, QWidget* b) { return place(a) < place(b); });
    QCOMPARE(focusable, visual);
    QVERIFY(focusable.contains(c->statusLabel) && focusable.contains(c->log) && focusable.contains(c->uninstallButton));
    for (QWidget* w : QWidgetList{c->log, c->headerImage, c->helpLinkButton, c->supportLinkButton, c->folderLabel})
        QVERIFY(!text(w, QAccessible::Description).isEmpty());

    statusChanges.clear();
    c->setStatus(SetupTexts::setupRunning, false);
    QVERIFY(statusChanges.contains(c->statusLabel));
    QCOMPARE(text(c->statusLabel, QAccessible::Name), SetupTexts::setupRunning);
}

QTEST_MAIN(WindowTest)
#include "test_window.moc"
