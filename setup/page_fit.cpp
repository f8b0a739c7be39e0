#include "setup/page_fit.h"

#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>

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
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        // The whole control, not only its text cursor as QScrollArea shows it; after the scroll area's own move.
        if (scroller && now && this->page->isAncestorOf(now))
            QTimer::singleShot(0, this, [this, now = QPointer<QWidget>(now)] {
                if (!now || !scroller)
                    return;
                const QRect area(now->mapTo(this->page, QPoint()), now->size());
                scroller->ensureVisible(
                    area.center().x(), area.center().y(), area.width() / 2 + 1, area.height() / 2 + 1);
            });
    });
}

void PageFit::fit(QSize room)
{
    page->ensurePolished(); // with the fonts and margins its style gives it
    log->setFixedHeight(logHeight);
    page->setMinimumSize(pageSize);
    // The page's empty space below the log goes first, then the log's height.
    QSize content = page->layout()->totalMinimumSize();
    if (page->layout()->hasHeightForWidth()) // the wrapping labels, at the page's width
        content.setHeight(std::max(content.height(), page->layout()->totalHeightForWidth(pageSize.width())));
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
