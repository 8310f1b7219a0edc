// Feeds arbitrary bytes to the property-list reader that "Info.plist" and "LCAppInfo.plist" go
// through, bounds included, and writes back every dictionary it accepts. Nothing may crash, hang
// or run out of memory: libplist only ever sees what the bounds let through.
#include "platform/propertylist.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto value = PropertyList::parse(bytes);
    if (value && value->typeId() == QMetaType::QVariantMap)
        PropertyList::toXml(value->toMap());
    return 0;
}
