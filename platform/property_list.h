#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <memory>
#include <plist/plist.h>

// Property lists through libplist. Its API changed in 2.3 (Debian 13 has 2.6,
// Debian 12 2.2); the program, the development agent and the tests all go
// through here, so only property_list.cpp knows which one this build has.
namespace platform {

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

enum class PlistFormat { xml, binary };

// The root node of an XML or binary property list; none when the bytes are not one.
PlistPtr parsePropertyList(QByteArrayView bytes);

QByteArray serializePropertyList(plist_t root, PlistFormat format);

} // namespace platform
