#include "setup/unmaximized_windows.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

namespace {

// xdg-shell's xdg_toplevel.unset_maximized, a request without arguments.
constexpr uint32_t unsetMaximizedRequest = 10;

// Where Qt draws the title bar itself (on Wayland compositors such as Weston) it offers a maximize button on every
// window, fixed size or not, and passes a click on it to the compositor as a maximize request. The compositor then
// grants the state at a size of its own; a window of fixed size keeps drawing itself at its own size, which breaks
// the protocol, and the compositor ends the connection and the program with it. Once Qt has acknowledged the state
// nothing can undo it safely. So the request is withdrawn at once, in the same batch of requests, before the
// compositor has answered it: the compositor then has no new state to announce. Qt's own withdrawal would not be
// sent, as Qt compares with the state the compositor last announced, not with what it has just asked for.
void withdrawMaximizeRequest(QWindow* window)
{
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    auto* toplevel = native ? static_cast<wl_proxy*>(native->nativeResourceForWindow("xdg_toplevel", window)) : nullptr;
    if (toplevel)
        wl_proxy_marshal_flags(toplevel, unsetMaximizedRequest, nullptr, wl_proxy_get_version(toplevel), 0);
}

class Unmaximizer : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::PlatformSurface
            && static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() == QPlatformSurfaceEvent::SurfaceCreated)
            if (auto* window = qobject_cast<QWindow*>(watched))
                connect(window, &QWindow::windowStateChanged, this, &Unmaximizer::unmaximize, Qt::UniqueConnection);
        return false;
    }

private:
    void unmaximize()
    {
        auto* window = static_cast<QWindow*>(sender());
        if (!window->windowStates().testFlag(Qt::WindowMaximized) || window->minimumSize() != window->maximumSize())
            return;
        withdrawMaximizeRequest(window);
        window->setWindowStates(window->windowStates() & ~Qt::WindowMaximized);
    }
};

} // namespace

void keepFixedSizeWindowsUnmaximized()
{
    static Unmaximizer* installed = nullptr;
    if (installed || !qApp)
        return;
    installed = new Unmaximizer;
    installed->setParent(qApp);
    qApp->installEventFilter(installed);
}
