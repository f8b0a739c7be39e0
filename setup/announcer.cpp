#include "setup/announcer.h"

#include "setup/wrapping_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QTimer>
#include <QWidget>

// Qt 6.8 and later tell the reader through an announcement of their own.
// Before that, the one thing Orca (43, the reader of those releases) speaks
// wherever the focus is, is an object of role notification that becomes
// showing: it says "notification" and the object's name. Qt 6.4 hands the
// reader a changed name with the object where the text should be, so a change
// of the status line's name is never spoken, even where it has the focus.
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
namespace {

const QString noticeName = QStringLiteral("announcement");

class NoticeAccessible : public QAccessibleWidget {
public:
    explicit NoticeAccessible(QWidget* notice)
        : QAccessibleWidget(notice, QAccessible::Notification)
    {
    }
};

QAccessibleInterface* noticeAccessible(const QString& className, QObject* object)
{
    return className == QLatin1String("QWidget") && object->objectName() == noticeName && object->isWidgetType()
        ? new NoticeAccessible(static_cast<QWidget*>(object))
        : nullptr;
}

} // namespace
#endif

Announcer::Announcer(QWidget* window, StatusLine* statusLine)
    : QObject(window)
    , statusLine(statusLine)
{
    window->installEventFilter(this);
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    static const bool factoryInstalled = (QAccessible::installFactory(noticeAccessible), true);
    Q_UNUSED(factoryInstalled);
    // Of no size, out of the mouse's way, and (as a plain widget) of the keyboard's: only the reader meets it.
    notice = new QWidget(window);
    notice->setObjectName(noticeName);
    notice->setFixedSize(0, 0);
    notice->setAttribute(Qt::WA_TransparentForMouseEvents);
#endif
}

// Only the last line written in one turn of the event loop is told: the one
// the window then shows, not the steps on the way to it.
void Announcer::announce(const QString& text, bool urgent)
{
    pending = text;
    pendingUrgent = urgent;
    QTimer::singleShot(0, this, &Announcer::deliver); // once the operation that wrote it has done its work
}

// A line written while the window is not active (a dialog of its own has just
// closed, say) waits for it: the reader follows the window that has the focus,
// and the dialog's last events may still keep it busy.
bool Announcer::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && pending)
        QTimer::singleShot(0, this, &Announcer::deliver);
    return false;
}

// Where the status line has the focus, the reader reads it as the focus
// arrives (or its window comes up), whatever it holds by then: a line it has
// not read yet with the focus, or has just read, would be heard twice if told
// as well.
void Announcer::deliver()
{
    if (!pending || !statusLine->window()->isActiveWindow())
        return;
    const QString text = *std::exchange(pending, std::nullopt);
    if (statusLine->window()->focusWidget() == statusLine && statusLine->readSinceFocus().value_or(text) == text)
        return;
    speak(text, pendingUrgent);
}

void Announcer::speak(const QString& text, bool urgent)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent announcement(statusLine, text);
    announcement.setPoliteness(
        urgent ? QAccessible::AnnouncementPoliteness::Assertive : QAccessible::AnnouncementPoliteness::Polite);
    QAccessible::updateAccessibility(&announcement);
#else
    Q_UNUSED(urgent); // Orca 43 speaks every notification at once
    notice->setAccessibleName(text);
    notice->show();
    QAccessibleEvent shown(notice, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
#endif
}
