// The window as the program shows it, at the desktop font sizes people use, by keyboard.
#include "halden_test.h"

#include "setup/modal_dialog.h"
#include "setup/window_texts.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMenuBar>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTimer>

namespace {

// The contrast ratio of two colours by WCAG 2's formula.
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& colour) {
        const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
    };
    const double first = luminance(a) + 0.05, second = luminance(b) + 0.05;
    return std::max(first, second) / std::min(first, second);
}

} // namespace

class WindowTest : public HaldenTest {
    Q_OBJECT

private slots:
    void nothingClipsAndTheStatusReads_data()
    {
        QTest::addColumn<int>("points"); // the desktop's font size
        QTest::addColumn<bool>("dark"); // its palette, switched to once the window shows the status
        for (const int points : { 9, 10, 11, 12, 14 })
            QTest::addRow("%d pt", points) << points << (points % 2 == 0);
    }
    // With the longest texts nothing is outside the page's margins or squeezed. The status line, as a normal line or
    // an error, meets WCAG's level AA for text of its size, 4.5:1, in a light and a dark palette; the normal line is
    // still secondary to the window's text.
    void nothingClipsAndTheStatusReads()
    {
        QFETCH(int, points);
        QFETCH(bool, dark);
        const auto desktopFont = qScopeGuard([font = QApplication::font()] { QApplication::setFont(font); });
        QApplication::setFont(QFont(QApplication::font().family(), points));
        showAsTheProgramDoes();
        c->log->setPlainText(QString("✓ register: a line\n").repeated(40));
        QWidget* page = c->window->centralWidget();
        const auto clipped = [&] {
            QStringList found;
            // All of the status, wrapped.
            if (c->statusLabel->heightForWidth(c->statusLabel->width()) > c->statusLabel->height())
                found << "status";
            if (page->y() < c->window->menuBar()->height() || page->geometry().bottom() >= c->window->height())
                found << "page";
            for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                const bool squeezed = (child->inherits("QLabel") || child->inherits("QPushButton"))
                    && child != c->folderLabel
                    && (child->width() < child->sizeHint().width() || child->height() < child->sizeHint().height());
                if (squeezed || !page->rect().adjusted(20, 20, -20, -20).contains(child->geometry()))
                    found << child->metaObject()->className() + (" " + child->property("text").toString().left(20));
            }
            return found;
        };
        const QPoint offCentre
            = c->window->frameGeometry().center() - c->window->screen()->availableGeometry().center();
        QVERIFY(points > 9 || offCentre.manhattanLength() <= 8); // it opens centred where it fits
        const QPalette palette = dark ? QPalette(QColor(0x31, 0x36, 0x3B)) : c->window->palette();
        for (const auto& [status, error] : { std::pair { setupCompletionMessage(true), false },
                 { SetupTexts::setupFailedStart + supportAddress + ".", true },
                 { QString("<br>").repeated(9), false } }) {
            c->setStatus(status, error);
            c->window->setPalette(palette);
            QTRY_COMPARE(clipped(), QStringList());
            const QColor background = palette.window().color();
            const double line = contrast(c->statusLabel->palette().color(c->statusLabel->foregroundRole()), background);
            const double text = contrast(palette.windowText().color(), background);
            QVERIFY2(
                line >= 4.5 && (error || line * 2 < text), qPrintable(QString("%1:1, text %2:1").arg(line).arg(text)));
        }
    }

    void byKeyboard() // with the menus, the labels and the keys
    {
        QTest::failOnWarning(QRegularExpression("^(?!This plugin does not support)")); // "No such method" and the like
        showAsTheProgramDoes();
        // Each shown, with a description for a screen reader; the order Tab takes is heard on the desktop
        // (test_desktop.cpp).
        for (QWidget* w :
            QWidgetList { c->log, c->headerImage, c->helpLinkButton, c->supportLinkButton, c->folderLabel })
            QVERIFY(
                w->isVisible() && !QAccessible::queryAccessibleInterface(w)->text(QAccessible::Description).isEmpty());
        // The folder label named by its heading, as a screen reader reads it.
        const auto labels = QAccessible::queryAccessibleInterface(c->folderLabel)->relations(QAccessible::Label);
        QCOMPARE(labels.isEmpty() ? QString() : labels[0].first->text(QAccessible::Name), WindowTexts::folderHeading);
        c->append("✓ register: done");
        c->setStatus(SetupTexts::setupFailedStart + supportAddress + ".", true);
        QMenu* editMenu = c->window->menuBar()->actions().at(1)->menu();
        QTest::keyClick(c->window, Qt::Key_E, Qt::AltModifier); // the titles' mnemonics open the menus
        QTRY_COMPARE(QApplication::activePopupWidget(), editMenu);
        QTest::keyClick(editMenu, Qt::Key_Escape);
        const QList<QAction*> edit = editMenu->actions();
        for (QWidget* focused : QWidgetList { c->statusLabel, c->log, c->chooseButton }) {
            for (const bool fromMenu : { false, true }) {
                QApplication::clipboard()->setText("before");
                focused->setFocus();
                for (const auto& [item, keys] : { std::pair { edit[4], QKeySequence::SelectAll },
                         { edit[2], QKeySequence::Copy }, { edit[3], QKeySequence::Paste } })
                    fromMenu ? item->trigger() : QTest::keySequence(c->window, keys);
                const QString text = focused == c->log ? c->log->toPlainText()
                    : focused == c->statusLabel        ? c->statusLabel->text()
                                                       : "before";
                QCOMPARE(QApplication::clipboard()->text(), text);
            }
        }
        QCOMPARE(c->log->toPlainText(), QStringLiteral("✓ register: done\n")); // the log takes no paste
        c->statusLabel->setFocus();
        c->statusLabel->setSelection(0, 0);
        QTest::keySequence(c->window, QKeySequence::Copy); // nothing selected: the clipboard keeps what it had
        QCOMPARE(QApplication::clipboard()->text(), "before");
        // Labels reached with the keyboard: their whole text selected, as in a text field, and no caret drawn.
        c->uninstallButton->setFocus();
        QTest::keyClick(c->uninstallButton, Qt::Key_Tab);
        QTest::keyClick(c->statusLabel, Qt::Key_Left, Qt::ShiftModifier); // no text cursor to move
        QTest::keySequence(c->window, QKeySequence::Copy);
        QCOMPARE(QApplication::clipboard()->text(), c->statusLabel->text());
        QVERIFY(!c->setupButton->isDefault()); // disabled: Return presses nothing
        // The focus shows on a label too, as a frame: seen across its middle, at its sides. The folder label is not
        // selectable, as it shows a shortened path.
        for (QLabel* label : { c->statusLabel, c->folderLabel }) {
            label->setFocus();
            const QImage focused = label->grab({ 0, label->height() / 2, label->width(), 1 }).toImage();
            c->log->setFocus();
            QVERIFY(label->grab({ 0, label->height() / 2, label->width(), 1 }).toImage() != focused);
        }
        // Return presses the push button that has the focus, Enter elsewhere presses set-up, and the focus stays where
        // the user put it. While an agent runs closing is refused and quitting is not; idle, closing quits.
        const auto endsTheProgram = [](auto* target, auto act) {
            QTimer::singleShot(0, target, act);
            QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
            return QCoreApplication::exec() == 0;
        };
        const QString line = "echo '" + doneEvent + "'; ";
        writeAgent(
            line + "until [ -e ~/go ]; do sleep 0.05; done; for i in $(seq 200); do " + line + "done; exec sleep 30");
        const QString marked = home->filePath("<b>project"); // a folder's name is read as it is, markup and all
        QVERIFY(QDir().mkpath(marked));
        QString panelShown;
        setModalAnswererForTesting([&](QDialog& modal) {
            auto* panel = qobject_cast<QFileDialog*>(&modal);
            panelShown = panel->labelText(QFileDialog::Accept) + " | " + panel->windowTitle() + " | "
                + QString::number(panel->fileMode()) + " | " + panel->selectedFiles().join(", "); // where it opens
            panel->selectFile(marked);
            QMetaObject::invokeMethod(panel, "accept");
            return panel->result();
        });
        c->chooseButton->setFocus();
        QTest::keyClick(c->chooseButton, Qt::Key_Return); // it opens in the home (beside a chosen folder: the journey)
        QCOMPARE(panelShown,
            "Authorize | Choose the project folder Halden may scan (it never scans outside it). | 2 | " + home->path());
        QCOMPARE(QAccessible::queryAccessibleInterface(c->folderLabel)->text(QAccessible::Name), marked);
        QVERIFY(c->chooseButton->isDefault() && !c->setupButton->isDefault()); // drawn as what Return presses
        c->log->setFocus();
        QVERIFY(c->setupButton->isDefault());
        QTest::keyClick(c->log, Qt::Key_Enter);
        QVERIFY(c->child && c->window->focusWidget() == c->log);
        // The lines that come while the user selects in the log: it follows them, and keeps the selection.
        QTRY_VERIFY(!c->log->toPlainText().isEmpty());
        QTextCursor selection = c->log->textCursor();
        selection.setPosition(2);
        selection.setPosition(6, QTextCursor::KeepAnchor);
        c->log->setTextCursor(selection);
        writeFile(home->filePath("go"), "");
        QScrollBar* bar = c->log->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        QCOMPARE(c->log->textCursor().selectedText(), "done");
        const QFontMetricsF metrics(c->log->font()); // fixed-pitch
        QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'));
        c->log->setFocus(); // the user moves on
        QVERIFY(!c->window->close() && c->window->isVisible()); // busy: refused
        QVERIFY(endsTheProgram(c->window, [this] { QTest::keyClick(c->log, Qt::Key_Q, Qt::ControlModifier); }));
        c->child->kill();
        QVERIFY(waitForRunEnd(*c));
        QVERIFY(c->window->focusWidget() == c->log && c->statusLabel->text() != SetupTexts::setupRunning); // left there
        QVERIFY(endsTheProgram(c->window, &QWidget::close));
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
