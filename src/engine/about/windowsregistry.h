#pragma once

#include "registry.h"

// The system registry through the 8-bit ("A") calls.
class WindowsRegistry final : public Registry
{
public:
    WindowsRegistry() = default;

    bool openKey(RegistryRoot root, const QByteArray &keyName, quint32 accessMask,
                 RegistryKey &key) override;
    bool queryValue(RegistryKey key, const QByteArray &valueName, QByteArray &buffer, quint32 &type,
                    quint32 &length) override;
    bool closeKey(RegistryKey key) override;
};
