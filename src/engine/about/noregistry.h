#pragma once

#include "registry.h"

// For systems without a registry: no key can be opened, so every lookup finds nothing.
class NoRegistry final : public Registry
{
public:
    NoRegistry() = default;

    bool openKey(RegistryRoot root, const QByteArray &keyName, quint32 accessMask,
                 RegistryKey &key) override;
    bool queryValue(RegistryKey key, const QByteArray &valueName, QByteArray &buffer, quint32 &type,
                    quint32 &length) override;
    bool closeKey(RegistryKey key) override;
};
