// Any bytes as the launch-agent property list: never a crash, a hang or a leak.
#include "install/launch_agent_registration.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray contents(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const std::optional<QString> folder = authorizedFolderInPropertyList(contents))
        (void)folder->size();
    return 0;
}
