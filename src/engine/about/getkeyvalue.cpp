#include "getkeyvalue.h"

#include "registryerror.h"

#include <QScopeGuard>

namespace {

QString doubleWordText(const QByteArray &data)
{
    quint32 value = 0;
    const qsizetype bytes = qMin<qsizetype>(data.size(), 4);
    for (qsizetype i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint8(data.at(i));
    return QString::number(value);
}

} // namespace

bool GetKeyValue(Registry &registry, RegistryRoot keyRoot, const QString &keyName,
                 const QString &subKeyRef, QString &keyVal)
{
    RegistryKey key = 0;
    // A failed open leaves key at 0; closing it anyway is harmless and keeps one exit path.
    const auto closeKey = qScopeGuard([&] { registry.closeKey(key); });

    if (!registry.openKey(keyRoot, keyName.toLocal8Bit(), keyValueAccessMask, key)) {
        keyVal.clear();
        return false;
    }

    QByteArray data(keyValueBufferSize, '\0');
    quint32 type = 0;
    quint32 length = 0;
    if (!registry.queryValue(key, subKeyRef.toLocal8Bit(), data, type, length)) {
        keyVal.clear();
        return false;
    }
    if (length == 0)
        throw RegistryError("registry value has no data");

    data.truncate(qMin<qsizetype>(length, data.size()));
    if (data.endsWith('\0'))
        data.chop(1);

    if (type == RegistryType::String) {
        // Text ends at its first NUL, as the system's own readers of a REG_SZ take it;
        // decoders differ on embedded NULs (Windows' drops one, Linux' keeps them).
        if (const qsizetype end = data.indexOf('\0'); end >= 0)
            data.truncate(end);
        keyVal = QString::fromLocal8Bit(data);
    } else if (type == RegistryType::DoubleWord)
        keyVal = doubleWordText(data);
    return true;
}
