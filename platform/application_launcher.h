#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Finds an installed application by its identifier and launches it with
// arguments, the way the macOS workspace service does.
namespace platform {

class ApplicationLauncher {
public:
    // The error text of a failed launch; none when the application started.
    using LaunchCompletion = std::function<void(std::optional<QString> error)>;

    virtual ~ApplicationLauncher() = default;

    // An opaque locator of the installed application (a desktop entry id on
    // Linux, a bundle path on macOS); none when it is not installed.
    virtual std::optional<QString> applicationFor(const QString& bundleIdentifier) = 0;

    // Launches `application` with `arguments` and returns at once; `completion`
    // runs later, on the main thread.
    virtual void launch(const QString& application, const QStringList& arguments, LaunchCompletion completion) = 0;
};

// The system's launcher (desktop entries through GIO on Linux).
ApplicationLauncher& applicationLauncher();

} // namespace platform
