#pragma once

#include <QString>
#include <optional>

// Where the running application bundle lies. On Linux the bundle is the folder
// that holds the executable; on macOS it is the ".app" folder.
namespace platform {

QString bundlePath();

// The folder that holds the bundle's resources (images).
QString bundleResourcePath();

// Tests stand the program inside a temporary install folder with this; an
// empty optional goes back to the real location.
void setBundlePathForTesting(std::optional<QString> path);

} // namespace platform
