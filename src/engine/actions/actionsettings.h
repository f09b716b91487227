#pragma once

#include "actionrule.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringList>

// The "actions" list of Senvo-Net.json: what is run, or posted to, when hosts get into
// trouble or out of it. An action with a mistake is kept, to be shown and written back as it
// was, but never run; the sound ones run all the same.
class ActionSettings final
{
    Q_DECLARE_TR_FUNCTIONS(ActionSettings)

public:
    static constexpr QLatin1StringView key{"actions"};

    ActionSettings() = default;
    // Actions as an editor holds them; a name used twice is a mistake of the later one.
    explicit ActionSettings(const QList<ActionRule> &rules);

    // root is the whole of Senvo-Net.json.
    static ActionSettings fromObject(const QJsonObject &root);
    // Replaces root's "actions", or removes it when there is none.
    void writeTo(QJsonObject &root) const;

    // Every action, in the file's order.
    const QList<ActionRule> &rules() const { return m_rules; }
    // Those that can run.
    QList<ActionRule> sound() const;
    // One line for each mistake, naming the action and saying why.
    QStringList errors() const;

    // Why the actions of the settings file at path may not run, naming the file: on Linux,
    // others than its owner may write it, and whoever can write it chooses what this program
    // runs. Empty when they may.
    static QString unsafeFile(const QString &path);
    // Takes the write permission of others than its owner from the file; false when that
    // cannot be done.
    static bool makeSafe(const QString &path);

private:
    QList<ActionRule> m_rules;
    QStringList m_listErrors;
};
