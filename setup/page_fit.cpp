#include "setup/page_fit.h"

#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>

namespace {

constexpr int leastLogLines = 5;

int leastLogHeight(const QPlainTextEdit* log)
{
    const int margins = 2 * (log->frameWidth() + qCeil(log->document()->documentMargin()));
    return leastLogLines * log->fontMetrics().lineSpacing() + margins;
}

} // namespace

PageFit::PageFit(QMainWindow* window, QWidget* page, QPlainTextEdit* log)
    : window(window)
    , page(page)
    , log(log)
    , pageSize(page->minimumSize())
    , logHeight(log->minimumHeight())
{
    QObject::connect(qApp, &QApplication::focusChanged, page, [this](QWidget*, QWidget* now) {
        if (scroller && now && this->page->isAncestorOf(now))
            scroller->ensureWidgetVisible(now);
    });
}

void PageFit::fit(QSize room)
{
    log->setFixedHeight(logHeight);
    page->setMinimumSize(pageSize);
    // The page's empty space below the log goes first, then the log's height.
    const QSize content = page->layout()->minimumSize();
    const int spare = std::max(pageSize.height() - content.height(), 0);
    const int over = std::max(pageSize.expandedTo(content).height() - room.height(), 0);
    const int logShrink = std::clamp(over - spare, 0, logHeight - leastLogHeight(log));
    log->setFixedHeight(logHeight - logShrink);
    const QSize fitted(
        std::max(pageSize.width(), content.width()), std::max(content.height() - logShrink, pageSize.height() - over));
    page->setMinimumHeight(fitted.height());
    scroll(fitted.height() > room.height() || fitted.width() > room.width());
    if (scroller) {
        const int bar = scroller->verticalScrollBar()->sizeHint().width();
        scroller->setFixedSize(std::min(room.width(), fitted.width() + bar), std::min(room.height(), fitted.height()));
    }
}

// The page goes into a scroll area only while it needs one, so that where it fits nothing stands between it and the
// window.
void PageFit::scroll(bool needed)
{
    if (needed == bool(scroller))
        return;
    window->takeCentralWidget();
    if (needed) {
        scroller = new QScrollArea;
        scroller->setFrameShape(QFrame::NoFrame);
        scroller->setWidgetResizable(true);
        scroller->setWidget(page);
        window->setCentralWidget(scroller);
    } else {
        scroller->takeWidget();
        delete std::exchange(scroller, nullptr);
        window->setCentralWidget(page);
    }
}
