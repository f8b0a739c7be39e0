#include "setup/wrapping_label.h"

#include "setup/focus_frame.h"
#include "setup/status_colors.h"

#include <QAccessibleWidget>
#include <QFocusEvent>
#include <QPainter>

WrappingLabel::WrappingLabel(const QString& text, int width)
    : QLabel(text)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setFixedWidth(width);
    // Selectable by keyboard would draw a caret in text that cannot be edited.
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setFocusPolicy(Qt::StrongFocus); // reached with Tab, so it can be read and copied from the keyboard
}

QSize WrappingLabel::sizeHint() const { return { maximumWidth(), heightForWidth(maximumWidth()) }; }

QSize WrappingLabel::minimumSizeHint() const { return sizeHint(); }

void WrappingLabel::focusInEvent(QFocusEvent* event)
{
    QLabel::focusInEvent(event);
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        setSelection(0, int(text().size()));
}

void WrappingLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    QPainter painter(this);
    drawFocusFrame(this, painter);
}

namespace {

// What a screen reader is told of the status line: a status bar whose name is its text.
class StatusLineAccessible : public QAccessibleWidget {
public:
    explicit StatusLineAccessible(QWidget* line)
        : QAccessibleWidget(line, QAccessible::StatusBar)
    {
    }
    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name)
            return QAccessibleWidget::text(kind);
        auto* line = static_cast<StatusLine*>(widget());
        line->noteRead(); // the reader asks for the name to read it
        return line->text();
    }
};

QAccessibleInterface* statusLineAccessible(const QString& className, QObject* object)
{
    return className == QLatin1String(StatusLine::staticMetaObject.className()) && object->isWidgetType()
        ? new StatusLineAccessible(static_cast<QWidget*>(object))
        : nullptr;
}

} // namespace

StatusLine::StatusLine(int width)
    : WrappingLabel(QString(), width)
{
    static const bool factoryInstalled = (QAccessible::installFactory(statusLineAccessible), true);
    Q_UNUSED(factoryInstalled);
    recolour();
}

void StatusLine::setStatus(const QString& text, bool isError)
{
    setText(text);
    error = isError;
    recolour();
}

void StatusLine::noteRead()
{
    if (window()->focusWidget() == this)
        lastRead = text();
}

void StatusLine::focusInEvent(QFocusEvent* event)
{
    lastRead.reset();
    WrappingLabel::focusInEvent(event);
}

void StatusLine::changeEvent(QEvent* event)
{
    WrappingLabel::changeEvent(event);
    // The desktop may switch between a light and a dark palette while the program runs.
    if (event->type() == QEvent::PaletteChange)
        recolour();
}

void StatusLine::recolour()
{
    const QColor colour = statusColor(error, parentWidget() ? parentWidget()->palette() : QPalette());
    if (palette().color(QPalette::WindowText) == colour)
        return; // setting it again would report another palette change
    QPalette own = palette();
    own.setColor(QPalette::WindowText, colour);
    setPalette(own);
}
