#include "actionsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

ActionSettings::ActionSettings(const QList<ActionRule> &rules)
    : m_rules(rules)
{
    QSet<QString> named;
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        ActionRule &rule = m_rules[i];
        const QString name = rule.name.toCaseFolded();
        if (rule.name.isEmpty() || !named.contains(name)) {
            named.insert(name);
            continue;
        }
        rule.errors.append(
            tr("%1: another action before it has that name").arg(rule.label(int(i) + 1)));
    }
}

ActionSettings ActionSettings::fromObject(const QJsonObject &root)
{
    const QJsonValue list = root.value(key);
    if (list.isUndefined() || list.isNull())
        return {};
    if (!list.isArray()) {
        ActionSettings settings;
        settings.m_listErrors.append(tr("\"actions\" is not a list ([ ... ]), so no action runs"));
        return settings;
    }
    QList<ActionRule> rules;
    const QJsonArray array = list.toArray();
    for (qsizetype i = 0; i < array.size(); ++i)
        rules.append(ActionRule::fromJson(array.at(i), int(i) + 1));
    return ActionSettings(rules);
}

void ActionSettings::writeTo(QJsonObject &root) const
{
    if (m_rules.isEmpty()) {
        root.remove(key);
        return;
    }
    QJsonArray list;
    for (const ActionRule &rule : m_rules)
        list.append(rule.toJson());
    root.insert(key, list);
}

QList<ActionRule> ActionSettings::sound() const
{
    QList<ActionRule> sound;
    for (const ActionRule &rule : m_rules) {
        if (rule.isSound())
            sound.append(rule);
    }
    return sound;
}

QStringList ActionSettings::errors() const
{
    QStringList errors = m_listErrors;
    for (const ActionRule &rule : m_rules)
        errors += rule.errors;
    return errors;
}

QString ActionSettings::unsafeFile(const QString &path)
{
#ifdef Q_OS_LINUX
    const QFileInfo file(path);
    if (file.exists()
        && (file.permissions() & (QFile::WriteGroup | QFile::WriteOther)) != QFile::Permissions())
        return tr("The actions in %1 are not run: others than its owner may write that file, and "
                  "so choose what Senvo-Net runs. Let its owner alone write it (chmod go-w) and "
                  "start Senvo-Net again.")
            .arg(QDir::toNativeSeparators(path));
#else
    Q_UNUSED(path)
#endif
    return {};
}

bool ActionSettings::makeSafe(const QString &path)
{
    if (unsafeFile(path).isEmpty())
        return true;
    QFile file(path);
    return file.setPermissions(file.permissions() & ~(QFile::WriteGroup | QFile::WriteOther));
}
