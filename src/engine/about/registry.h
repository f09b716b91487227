#pragma once

#include <QByteArray>
#include <QtGlobal>

// The predefined roots, numbered as the system numbers them.
enum class RegistryRoot : quint32 {
    ClassesRoot = 0x80000000,
    CurrentUser = 0x80000001,
    LocalMachine = 0x80000002,
    Users = 0x80000003,
};

// An open key as the system hands it out; 0 is no key.
using RegistryKey = quintptr;

// Value types that the reader tells apart.
namespace RegistryType {
inline constexpr quint32 String = 1;       // REG_SZ
inline constexpr quint32 ExpandString = 2; // REG_EXPAND_SZ
inline constexpr quint32 Binary = 3;       // REG_BINARY
inline constexpr quint32 DoubleWord = 4;   // REG_DWORD, little-endian
} // namespace RegistryType

// The three registry calls the System Information lookup needs. Names and data cross
// this interface as 8-bit text in the system code page, as the system's "A" calls take them.
class Registry
{
public:
    Registry() = default;
    virtual ~Registry() = default;
    Q_DISABLE_COPY_MOVE(Registry)

    // Opens keyName under root with the given access rights. On failure key is 0.
    virtual bool openKey(RegistryRoot root, const QByteArray &keyName, quint32 accessMask,
                         RegistryKey &key) = 0;

    // Reads valueName into buffer, which the caller has sized; on success type and length
    // (the number of bytes the value holds) are set. A value larger than buffer fails.
    virtual bool queryValue(RegistryKey key, const QByteArray &valueName, QByteArray &buffer,
                            quint32 &type, quint32 &length) = 0;

    // Closing 0 or a key that is no longer open fails harmlessly.
    virtual bool closeKey(RegistryKey key) = 0;
};
