#include "jsonsettings.h"

JsonSettings::JsonSettings(const SettingsFile &folders)
    : m_file(folders)
{
    reload();
}

void JsonSettings::reload()
{
    const JsonSettingsFile::LoadResult loaded = m_file.load();
    m_object = loaded.object;
    m_path = loaded.path;
    m_readError.clear();
    if (loaded.status == JsonSettingsFile::LoadResult::Status::Failed)
        m_readError = loaded.error;
}

SettingsFile::SaveResult JsonSettings::save(const QJsonObject &changed)
{
    // Keys changed by hand, or by another copy of the program, since start-up are kept too.
    const JsonSettingsFile::LoadResult current = m_file.load();
    QJsonObject whole =
        current.status == JsonSettingsFile::LoadResult::Status::Read ? current.object : m_object;
    for (auto it = changed.begin(); it != changed.end(); ++it) {
        if (it.value().isNull())
            whole.remove(it.key());
        else
            whole.insert(it.key(), it.value());
    }
    const SettingsFile::SaveResult result = m_file.save(whole);
    if (result.saved) {
        m_object = whole;
        m_path = result.path;
        m_readError.clear();
    }
    return result;
}
