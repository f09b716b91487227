#pragma once

#include "settingsfile.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Senvo-Net.json: the settings that do not fit the one-line ini (the limits, and more
// to come). It is chosen and written by the same folder rules as Senvo-Net.ini.
//
// Whoever changes it reads the whole object, changes the keys it owns and writes the
// whole object back, so that keys another part of the program (or a newer version) put
// there survive.
class JsonSettingsFile final
{
public:
    static constexpr QLatin1StringView fileName{"Senvo-Net.json"};

    struct LoadResult
    {
        enum class Status { NoFile, Read, Failed };
        Status status = Status::NoFile;
        QJsonObject object; // empty unless Read
        QString path;       // the file read, or the one that would be read
        QString error;      // when Failed: what is wrong, without the path
    };

    explicit JsonSettingsFile(const SettingsFile &folders);

    QString path() const; // the file in use; empty without any folder

    // A missing file is no error: it reads as an empty object.
    LoadResult load() const;
    // The whole object, whole or not at all.
    SettingsFile::SaveResult save(const QJsonObject &object) const;

    // The object held in bytes (none in empty bytes), or an error such as "line 3, column 14:
    // unterminated object", the line and column counted in characters from 1.
    static LoadResult parse(const QByteArray &bytes);

private:
    SettingsFile m_folders;
};
