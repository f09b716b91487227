#include "windowsregistry.h"

#include <qt_windows.h>

namespace {

// The predefined HKEY values are sign-extended on 64-bit builds, so they are mapped by
// name rather than by casting the enumerator.
HKEY rootHandle(RegistryRoot root)
{
    switch (root) {
    case RegistryRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users:
        return HKEY_USERS;
    }
    return nullptr;
}

HKEY keyHandle(RegistryKey key)
{
    return reinterpret_cast<HKEY>(key);
}

} // namespace

bool WindowsRegistry::openKey(RegistryRoot root, const QByteArray &keyName, quint32 accessMask,
                              RegistryKey &key)
{
    key = 0;
    const HKEY parent = rootHandle(root);
    if (!parent)
        return false;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(parent, keyName.constData(), 0, REGSAM(accessMask), &opened) != ERROR_SUCCESS)
        return false;
    key = reinterpret_cast<RegistryKey>(opened);
    return true;
}

bool WindowsRegistry::queryValue(RegistryKey key, const QByteArray &valueName, QByteArray &buffer,
                                 quint32 &type, quint32 &length)
{
    if (key == 0)
        return false;
    DWORD valueType = 0;
    DWORD size = DWORD(buffer.size());
    if (RegQueryValueExA(keyHandle(key), valueName.constData(), nullptr, &valueType,
                         reinterpret_cast<LPBYTE>(buffer.data()), &size)
        != ERROR_SUCCESS) {
        return false;
    }
    type = quint32(valueType);
    length = quint32(size);
    return true;
}

bool WindowsRegistry::closeKey(RegistryKey key)
{
    if (key == 0)
        return false;
    return RegCloseKey(keyHandle(key)) == ERROR_SUCCESS;
}
