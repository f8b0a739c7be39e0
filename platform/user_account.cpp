#include "platform/user_account.h"

#include <pwd.h>
#include <unistd.h>

namespace platform {

QString loginName()
{
    if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return QString();
}

} // namespace platform
