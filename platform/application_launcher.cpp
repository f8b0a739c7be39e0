// GIO first: its headers use names that Qt defines as macros.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "platform/application_launcher.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QTimer>

namespace platform {
namespace {

    // The desktop entries under which VS Code installs itself on Linux: the
    // vendor's packages, the snap and the flatpak.
    const QHash<QString, QStringList> desktopEntriesByIdentifier = {
        { QStringLiteral("com.microsoft.VSCode"),
            { QStringLiteral("code.desktop"), QStringLiteral("code_code.desktop"),
                QStringLiteral("com.visualstudio.code.desktop") } },
    };

    class DesktopEntryLauncher final : public ApplicationLauncher {
    public:
        std::optional<QString> applicationFor(const QString& bundleIdentifier) override
        {
            for (const QString& id : desktopEntriesByIdentifier.value(bundleIdentifier)) {
                GDesktopAppInfo* info = g_desktop_app_info_new(id.toUtf8().constData());
                if (!info)
                    continue;
                g_object_unref(info);
                return id;
            }
            return std::nullopt;
        }

        void launch(const QString& application, const QStringList& arguments, LaunchCompletion completion) override
        {
            std::optional<QString> error = launchNow(application, arguments);
            // The outcome is reported after the caller has returned, as the
            // workspace service does.
            QTimer::singleShot(0, QCoreApplication::instance(),
                [completion = std::move(completion), error = std::move(error)] { completion(error); });
        }

    private:
        static std::optional<QString> launchNow(const QString& application, const QStringList& arguments)
        {
            GDesktopAppInfo* info = g_desktop_app_info_new(application.toUtf8().constData());
            if (!info)
                return QStringLiteral("The application is not installed.");
            GList* files = nullptr;
            for (const QString& argument : arguments)
                files = g_list_append(files, g_file_new_for_path(QFile::encodeName(argument).constData()));
            GError* gerror = nullptr;
            const gboolean launched = g_app_info_launch(G_APP_INFO(info), files, nullptr, &gerror);
            g_list_free_full(files, g_object_unref);
            g_object_unref(info);
            if (launched)
                return std::nullopt;
            const QString message = gerror ? QString::fromUtf8(gerror->message) : QStringLiteral("launch failed");
            if (gerror)
                g_error_free(gerror);
            return message;
        }
    };

} // namespace

ApplicationLauncher& applicationLauncher()
{
    static DesktopEntryLauncher systemLauncher;
    return systemLauncher;
}

} // namespace platform
