#include "noregistry.h"

bool NoRegistry::openKey(RegistryRoot, const QByteArray &, quint32, RegistryKey &key)
{
    key = 0;
    return false;
}

bool NoRegistry::queryValue(RegistryKey, const QByteArray &, QByteArray &, quint32 &, quint32 &)
{
    return false;
}

bool NoRegistry::closeKey(RegistryKey)
{
    return false;
}
