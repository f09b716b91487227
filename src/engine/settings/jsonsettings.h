#pragma once

#include "jsonsettingsfile.h"

#include <QJsonObject>
#include <QString>

// Senvo-Net.json as the running program holds it: read once at start-up, then changed only
// through save(), which writes the whole object with the keys one part of the program owns
// replaced and every other key (another part's, a newer version's, a hand-written one) kept.
// Nothing is ever written until a part saves.
class JsonSettings final
{
public:
    // Reads the file in use; a missing file holds no settings.
    explicit JsonSettings(const SettingsFile &folders);

    const QJsonObject &object() const { return m_object; }
    // The file read at start-up, or the one that would have been.
    const QString &path() const { return m_path; }
    // What kept the file from being read at start-up ("line 3, column 14: ..."), without the
    // path; empty when it was read or there was none. A save replaces such a file whole.
    const QString &readError() const { return m_readError; }

    // Reads the file again, as at start-up (a running service told that it was edited).
    void reload();

    // Writes the file as it is now, or as read at start-up where it cannot be read now, with
    // each key of changed put in (a null one taken out), whole or not at all; what is held changes
    // only once the file is written.
    SettingsFile::SaveResult save(const QJsonObject &changed);

private:
    JsonSettingsFile m_file;
    QJsonObject m_object;
    QString m_path;
    QString m_readError;
};
