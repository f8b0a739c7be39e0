#include "platform/single_instance.h"

#ifndef __APPLE__
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#endif

namespace platform {

#ifndef __APPLE__
namespace {

    const QString serviceName = QStringLiteral("com.tervan.HaldenSetup");
    const QString objectPath = QStringLiteral("/com/tervan/HaldenSetup");
    const QString tokenKey = QStringLiteral("activation-token");
    const QString startupIdKey = QStringLiteral("desktop-startup-id");

    // The interface through which desktops, launchers and a second start bring the
    // running program forward; what it is asked to open or do, it only comes to
    // the front for.
    class ApplicationAdaptor : public QDBusAbstractAdaptor {
        Q_OBJECT
        Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

    public:
        explicit ApplicationAdaptor(SingleInstance* instance)
            : QDBusAbstractAdaptor(instance)
            , instance(instance)
        {
        }

    public slots:
        void Activate(const QVariantMap& platformData)
        {
            emit instance->activationRequested(
                platformData.value(tokenKey).toString(), platformData.value(startupIdKey).toString());
        }
        void Open(const QStringList&, const QVariantMap& platformData) { Activate(platformData); }
        void ActivateAction(const QString&, const QVariantList&, const QVariantMap& platformData)
        {
            Activate(platformData);
        }

    private:
        SingleInstance* instance;
    };

    // What the launcher gave this start so that the window it brings forward may
    // take the focus, in the platform data of org.freedesktop.Application.
    QVariantMap launchPlatformData()
    {
        QVariantMap data;
        for (const auto& [key, variable] :
            { std::pair { tokenKey, "XDG_ACTIVATION_TOKEN" }, { startupIdKey, "DESKTOP_STARTUP_ID" } })
            if (const QString value = qEnvironmentVariable(variable); !value.isEmpty())
                data.insert(key, value);
        return data;
    }

} // namespace
#endif

bool SingleInstance::claim()
{
#ifdef __APPLE__
    return true;
#else
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return true; // no session to meet in: a lone instance, as the program always was
    new ApplicationAdaptor(this);
    // The object first, so that whoever finds the name finds it answering. The
    // owner may end between a refused name and the call: then ask again.
    bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (bus.registerService(serviceName))
            return true;
        QDBusMessage activate = QDBusMessage::createMethodCall(
            serviceName, objectPath, QStringLiteral("org.freedesktop.Application"), QStringLiteral("Activate"));
        activate << launchPlatformData();
        if (bus.call(activate, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage)
            return false;
    }
    // An owner that does not answer is busy or hung; a second window would let
    // two agents run at once, so this start ends all the same.
    return false;
#endif
}

} // namespace platform

#ifndef __APPLE__
#include "single_instance.moc"
#endif
