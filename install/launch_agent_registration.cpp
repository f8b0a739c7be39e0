#include "install/launch_agent_registration.h"

#include "agent/agent_contract.h"
#include "platform/property_list.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads the string in place: plist_get_string_val() asserts, and so aborts the
// program, on a string that holds a NUL character, which a binary list can.
std::optional<QString> stringValue(plist_t node)
{
    if (plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    uint64_t length = 0;
    const char* raw = plist_get_string_ptr(node, &length);
    if (!raw || length > static_cast<uint64_t>(maxLaunchAgentPropertyListSize))
        return std::nullopt;
    const QByteArrayView bytes(raw, static_cast<qsizetype>(length));
    if (bytes.contains('\0'))
        return std::nullopt; // no path holds a NUL
    return QString::fromUtf8(bytes);
}

} // namespace

std::optional<QByteArray> readLaunchAgentPropertyList(const QString& home)
{
    // Opened once and judged by what was opened: a FIFO or device put in place after a separate check
    // would block the start-up, so the open does not wait and the descriptor itself is asked.
    const int fd = open(QFile::encodeName(home + u'/' + AgentContract::launchAgentPropertyListPath).constData(),
        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            close(fd);
        return std::nullopt;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxLaunchAgentPropertyListSize)
        return std::nullopt;
    // Read one byte past the limit: the file may have grown since it was sized.
    QByteArray contents = file.read(maxLaunchAgentPropertyListSize + 1);
    if (contents.size() > maxLaunchAgentPropertyListSize)
        return std::nullopt;
    return contents;
}

std::optional<QString> authorizedFolderInPropertyList(const QByteArray& contents)
{
    if (contents.isEmpty() || contents.size() > maxLaunchAgentPropertyListSize)
        return std::nullopt;
    const platform::PlistPtr root = platform::parsePropertyList(contents);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;

    plist_t arguments = plist_dict_get_item(root.get(), AgentContract::programArgumentsKey);
    if (!arguments || plist_get_node_type(arguments) != PLIST_ARRAY)
        return std::nullopt;

    const uint32_t count = plist_array_get_size(arguments);
    QStringList elements;
    elements.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        std::optional<QString> element = stringValue(plist_array_get_item(arguments, i));
        if (!element)
            return std::nullopt; // every element must be a string
        elements.append(std::move(*element));
    }
    const qsizetype switchIndex = elements.indexOf(AgentContract::allowRootSwitch);
    if (switchIndex < 0 || switchIndex + 1 >= elements.size())
        return std::nullopt;
    const QString& path = elements[switchIndex + 1];
    // A relative path would name a different folder for every working directory.
    if (!QDir::isAbsolutePath(path))
        return std::nullopt;
    return AgentContract::agentPath(path);
}
