#pragma once

#include "registry.h"

#include <QString>

// Rights asked for when a key is opened: query, set, create-subkey, enumerate, notify and
// create-link plus read-control. A user with read-only rights is refused them.
inline constexpr quint32 keyValueAccessMask = 0x2003F;

// Bytes a value may hold; a larger value is not read.
inline constexpr qsizetype keyValueBufferSize = 1024;

// Reads value subKeyRef of key keyName under keyRoot into keyVal and returns true.
// When the key cannot be opened or the value read, keyVal is emptied and the result is false.
// Data is cut to its length, less one trailing NUL. Text (REG_SZ) ends at its first NUL
// and is decoded from the local 8-bit code page; a REG_DWORD becomes the decimal text of its
// unsigned value; any other type leaves keyVal as it was passed. Throws RegistryError when the
// value is present but zero bytes long. The key is closed on every path.
bool GetKeyValue(Registry &registry, RegistryRoot keyRoot, const QString &keyName,
                 const QString &subKeyRef, QString &keyVal);
