#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The launch-agent property list of the local agent: a file any program of the
// user can write, so everything here treats it as untrusted input.

// Registrations are a few hundred bytes; anything larger than this is not one.
inline constexpr qint64 maxLaunchAgentPropertyListSize = 1024 * 1024;

// The property list's bytes under `home`; none when missing, unreadable, not a
// regular file or over the size limit.
std::optional<QByteArray> readLaunchAgentPropertyList(const QString& home);

// The path after the first "--allow-root" of "ProgramArguments", when the list
// (XML or binary) has the expected shape. Does not look at the file system.
std::optional<QString> authorizedFolderInPropertyList(const QByteArray& contents);
