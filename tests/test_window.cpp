// The window as the program shows it, at the desktop font sizes people use, and its states.
#include "halden_test.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMenuBar>
#include <QScrollBar>
#include <QSignalSpy>

class WindowTest : public HaldenTest {
    Q_OBJECT

private slots:
    void nothingClipsAndAScreenReaderSeesAll()
    {
        const QFont desktop = QApplication::font();
        for (const int points : { 9, 10, 11, 12, 14 }) {
            QApplication::setFont(QFont(desktop.family(), points));
            showAsTheProgramDoes();
            c->log->setPlainText(QString("✓ register: a line\n").repeated(40));
            QWidget* page = c->window->centralWidget();
            const auto clipped = [&] { // what lies outside the page's margins or has less room than it asks for
                QStringList found { QString::number(points) + " pt" };
                if (page->childrenRect().topLeft() != QPoint(20, 20)) // the margins kept
                    found << "margins";
                const QList<QLabel*> labels
                    = page->findChildren<QLabel*>(); // the product's name: the window's title and the header's
                if (c->window->windowTitle() != "Tervan Halden for VS Code — Beta"
                    || std::none_of(
                        labels.begin(), labels.end(), [&](QLabel* l) { return l->text() == c->window->windowTitle(); }))
                    found << "title";
                const QString status = c->statusLabel->text(); // all of it shown, wrapped, as plain text
                if (c->statusLabel->fontMetrics()
                        .boundingRect(QRect(0, 0, 520, 10000), Qt::TextWordWrap, status)
                        .height()
                    > c->statusLabel->height())
                    found << "status";
                if (page->y() < c->window->menuBar()->height() || page->geometry().bottom() >= c->window->height()
                    || page->width() < 620 || page->height() < 580)
                    found << "page";
                for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                    const bool sized = child == c->folderLabel
                        || !(child->inherits("QLabel") || child->inherits("QPushButton"))
                        || (child->width() >= child->sizeHint().width()
                            && child->height() >= child->sizeHint().height());
                    if (!page->rect().adjusted(20, 20, -20, -20).contains(child->geometry()) || !sized)
                        found << child->metaObject()->className() + (" " + child->property("text").toString().left(20));
                }
                return found;
            };
            QVERIFY(points > 9
                || (c->window->frameGeometry().center() - c->window->screen()->availableGeometry().center())
                        .manhattanLength()
                    <= 8); // centred
            for (const QString& status : { setupCompletionMessage(true),
                     SetupTexts::setupFailedStart + supportAddress + ".", QString("<br>").repeated(9) }) {
                c->setStatus(status, true);
                QTRY_COMPARE(clipped(), QStringList { QString::number(points) + " pt" });
                QVERIFY(points > 9
                    || page->size()
                        == QSize(620, 580)); // larger fonts may need more room, depending on the desktop's font
            }
        }
        QApplication::setFont(desktop);
        // A screen reader finds every control by name, in the order they are seen, and hears the status line change.
        const auto text
            = [](QWidget* w, QAccessible::Text kind) { return QAccessible::queryAccessibleInterface(w)->text(kind); };
        QWidgetList focusable;
        for (QWidget* w = c->window->nextInFocusChain(); w != c->window; w = w->nextInFocusChain())
            if (w->isVisible() && (w->focusPolicy() & Qt::TabFocus) && !w->inherits("QScrollBar")) {
                focusable << w;
                QVERIFY2(!text(w, QAccessible::Name).isEmpty(), w->metaObject()->className());
            }
        QWidgetList visual = focusable;
        const auto place = [this](QWidget* w) {
            const QPoint p = w->mapTo(c->window, QPoint());
            return std::pair(p.y(), p.x());
        };
        std::stable_sort(visual.begin(), visual.end(), [&](QWidget* a, QWidget* b) { return place(a) < place(b); });
        QCOMPARE(focusable, visual); // the tab chain follows what is seen
        QCOMPARE(focusable.size(), 10); // the introduction, two links, five buttons, the status line and the log
        for (QWidget* w :
            QWidgetList { c->log, c->headerImage, c->helpLinkButton, c->supportLinkButton, c->folderLabel })
            QVERIFY(!text(w, QAccessible::Name).isEmpty() && !text(w, QAccessible::Description).isEmpty());
        static QObjectList changed;
        QAccessible::installUpdateHandler(
            [](QAccessibleEvent* e) { changed << (e->type() == QAccessible::NameChanged ? e->object() : nullptr); });
        c->setStatus(SetupTexts::setupRunning, false);
        QAccessible::installUpdateHandler(nullptr);
        QVERIFY(changed.contains(c->statusLabel)
            && text(c->statusLabel, QAccessible::Name) == SetupTexts::setupRunning); // announced
    }

    void logStatusLineAndHeader()
    {
        for (const auto& [drawn, shown] :
            { std::pair { QSize(20, 10), QSize(56, 28) }, { QSize(100, 200), QSize(28, 56) }, { QSize(), QSize() } }) {
            QFile::remove(install->bundle + "/HaldenInstaller.png");
            QImage image(drawn, QImage::Format_ARGB32);
            image.fill(Qt::red);
            image.save(install->bundle + "/HaldenInstaller.png");
            start(); // the header image fits its square, whatever size it was drawn at
            QCOMPARE(c->headerImage && c->headerImage->window() == c->window
                    ? c->headerImage->pixmap().deviceIndependentSize().toSize()
                    : QSize(),
                shown);
        }
        c->window->show();
        writeExecutable(home->filePath("agent"),
            "#!/bin/sh\nfor i in $(seq 200); do echo '{\"step\":\"a\",\"status\":\"ok\"}'; done\n");
        c->run(home->filePath("agent"), { "--setup" }, [](bool) { });
        QScrollBar* bar = c->log->verticalScrollBar();
        QVERIFY(
            waitForRunEnd(*c) && bar->maximum() > 0 && bar->value() == bar->maximum()); // the log follows a run's lines
        bar->setValue(0);
        c->append("x");
        QVERIFY(bar->value() == bar->maximum()); // and a single line
        const QFontMetricsF metrics(c->log->font());
        QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W')); // a fixed-pitch font
        for (const QColor& background : { QColor(Qt::white), QColor(0x26, 0x26, 0x28) }) { // the red reads on either
            c->window->setPalette(QPalette(background, background));
            c->setStatus("failed", true);
            QVERIFY(std::abs(c->statusLabel->palette().color(QPalette::WindowText).lightness() - background.lightness())
                > 100);
        }
    }

    void menuKeysAndClose()
    {
        QTest::failOnWarning(QRegularExpression("^(?!This plugin does not support)")); // "No such method" and the like
        install->writeAgentScript("echo '{\"step\":\"done\",\"status\":\"ok\"}'");
        showAsTheProgramDoes();
        c->append("✓ register: done");
        c->setStatus(SetupTexts::setupFailedStart + supportAddress + ".", true);
        const QList<QAction*> edit = c->window->menuBar()->actions().at(1)->menu()->actions();
        QStringList titles;
        for (QAction* item : edit)
            titles << item->text() + " " + item->shortcut().toString();
        QCOMPARE(
            titles, QStringList({ "Undo Ctrl+Z", "Cut Ctrl+X", "Copy Ctrl+C", "Paste Ctrl+V", "Select All Ctrl+A" }));
        for (QWidget* focused : QWidgetList { c->statusLabel, c->log, c->chooseButton }) {
            for (const bool fromMenu : { false, true }) {
                QApplication::clipboard()->setText("before");
                focused->setFocus();
                for (QAction* item : { edit[4], edit[2], edit[3] }) // select all, copy, paste
                    fromMenu ? item->trigger() : QTest::keySequence(c->window, item->shortcut());
                const QString text = focused == c->log ? c->log->toPlainText()
                    : focused == c->statusLabel        ? c->statusLabel->text()
                                                       : "before";
                QCOMPARE(QApplication::clipboard()->text(), text);
            }
        }
        QCOMPARE(c->log->toPlainText(), QStringLiteral("✓ register: done\n")); // the log takes no paste
        QVERIFY(!(c->folderLabel->textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard)));
        QSignalSpy pressed(c->setupButton, &QPushButton::clicked); // Return presses set-up only when it is enabled
        QTest::keyClick(c->window, Qt::Key_Return);
        c->folder = home->path();
        c->updateSetupReadiness();
        for (const Qt::Key key : { Qt::Key_Return, Qt::Key_Enter }) {
            QTest::keyClick(c->window, key);
            QVERIFY(waitForRunEnd(*c));
        }
        QCOMPARE(pressed.count(), 2);
        install->writeAgentScript("sleep 30");
        c->setUpAgent();
        QVERIFY(!c->window->close() && c->window->isVisible()); // busy: refused
        QAction* quit = c->window->menuBar()->actions().first()->menu()->actions().first();
        QVERIFY(quit->text() == "Quit Halden Setup" && quit->shortcut() == QKeySequence::Quit);
        QTimer::singleShot(0, quit, &QAction::trigger); // quits while the agent runs
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
        c->child->kill();
        QVERIFY(waitForRunEnd(*c));
        QTimer::singleShot(0, c->window, &QWidget::close);
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0); // closing the idle window ends the program
    }

    void windowStates_data()
    {
        scenarioColumns();
        QTest::newRow("agent missing") << "-"
                                       << ""
                                       << "start"
                                       << "--E--C | red: missing | "
                                       << "";
        QTest::newRow("no installation") << ""
                                         << ""
                                         << "start"
                                         << "--E-EC | start | "
                                         << "";
        QTest::newRow("existing installation") << ""
                                               << "registered"
                                               << "start"
                                               << "-EE-EC | existing | "
                                               << "";
        QTest::newRow("existing, repaired") << doneOk << "registered"
                                            << "started"
                                            << "EEEEEC | not confirmed | ✓ done: /"
                                            << "--repair " SETUP_ARGS " (repairing)";
        QTest::newRow("busy") << ""
                              << "folder repair open"
                              << "busy"
                              << "------ | before | old/"
                              << "";
        QTest::newRow("idle, no folder") << ""
                                         << "open"
                                         << "idle"
                                         << "--EEEC | before | old/"
                                         << "";
        QTest::newRow("idle, folder") << ""
                                      << "folder"
                                      << "idle"
                                      << "E-E-EC | before | old/"
                                      << "";
        QTest::newRow("idle, repair") << ""
                                      << "folder repair open"
                                      << "idle"
                                      << "EEEEEC | before | old/"
                                      << "";
        QTest::newRow("idle, removal pending") << ""
                                               << "folder repair pending"
                                               << "idle"
                                               << "----EC | before | old/"
                                               << "";
        QTest::newRow("ready") << ""
                               << "folder repair"
                               << "ready"
                               << "EEE-EC | ready | old/"
                               << "";
        QTest::newRow("ready, no folder") << ""
                                          << "repair"
                                          << "ready"
                                          << "--E-EC | required | old/"
                                          << "";
        QTest::newRow("ready, agent lost") << ""
                                           << "folder lost"
                                           << "idle ready"
                                           << "--E-EC | before | old/"
                                           << "";
        QTest::newRow("ready while an agent runs") << ""
                                                   << "folder repair running"
                                                   << "ready"
                                                   << "--E-EC | before | old/"
                                                   << "";
        QTest::newRow("ready, removal pending") << ""
                                                << "folder repair pending"
                                                << "ready"
                                                << "--E-EC | before | old/"
                                                << "";
    }

    void windowStates() { scenario(); }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
