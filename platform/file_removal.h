#pragma once

#include <QString>
#include <optional>

namespace platform {

// Deletes the item at `path` with everything in it, as the file manager does,
// but never follows a symbolic link: a link is removed, its target is left alone.
// Stops at the first failure and returns the user-facing message for it; an
// empty optional means the item is gone.
std::optional<QString> removeItemRecursively(const QString& path);

} // namespace platform
