#include "platform/property_list.h"

namespace platform {

// HALDEN_PLIST_2_3 is found by the build's configure step: libplist 2.3 gave
// plist_from_memory() a fourth argument (the format it found) and replaced
// plist_to_xml_free() and plist_to_bin_free() with plist_mem_free().
PlistPtr parsePropertyList(QByteArrayView bytes)
{
    plist_t root = nullptr;
#if HALDEN_PLIST_2_3
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root, nullptr);
#else
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
#endif
    return PlistPtr(root);
}

QByteArray serializePropertyList(plist_t root, PlistFormat format)
{
    char* data = nullptr;
    uint32_t length = 0;
    format == PlistFormat::xml ? plist_to_xml(root, &data, &length) : plist_to_bin(root, &data, &length);
    const QByteArray bytes(data, static_cast<qsizetype>(length));
#if HALDEN_PLIST_2_3
    plist_mem_free(data);
#else
    format == PlistFormat::xml ? plist_to_xml_free(data) : plist_to_bin_free(data);
#endif
    return bytes;
}

} // namespace platform
