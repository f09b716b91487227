#pragma once

#include <QFile>
#include <QHostAddress>
#include <QTemporaryDir>
#include <QUdpSocket>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

// True in a Windows program that Wine runs: Wine's ntdll has a call that Windows' lacks.
inline bool runningUnderWine()
{
#ifdef Q_OS_WIN
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

// A UDP port nobody listens on right now, for a test to bind.
inline quint16 freePort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::Any, 0) ? probe.localPort() : 0;
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A path below a plain file in base: no folder can be made there and nothing written,
// whoever runs the test, root included.
inline QString belowAPlainFile(const QTemporaryDir &base, const QString &name)
{
    const QString plain = base.filePath(QStringLiteral("plain"));
    if (!QFile::exists(plain))
        writeBytes(plain, "x");
    return plain + u'/' + name;
}
