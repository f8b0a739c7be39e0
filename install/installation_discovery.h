#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Where the product is installed and whether the local agent was already set
// up on this account. Every answer is read from the file system afresh; a
// miss is an empty optional, never an error.

// The name the install folder must bear.
inline const QString installDirName = QStringLiteral("Tervan Halden Beta");

// The install folder (the folder that holds the application bundle), when it
// bears `installDirName` exactly.
std::optional<QString> installDir();

// The agent executable of this build's processor in the install folder's
// "dist" subfolder, when it is there and executable by the current user.
std::optional<QString> agentBinary(const QString& installDir);

// The project folder that the local agent's launch-agent registration under
// the home folder authorizes, when that folder still exists.
std::optional<QString> existingAuthorizedFolder();
