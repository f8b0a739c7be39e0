#pragma once

#include <QString>

namespace platform {

// The login name of the effective user, from the password database (never $USER,
// which any parent process may set to anything).
QString loginName();

} // namespace platform
