#pragma once

#include "engine/limits/hostpattern.h"
#include "engine/limits/trouble.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <utility>
#include <vector>

// One entry of the "actions" list of Senvo-Net.json: a program to run or an address to post
// to when hosts get into trouble or out of it:
//   {"name": "pager", "when": ["critical", "silent"], "hosts": ["db*"],
//    "run": ["/usr/local/bin/page", "--team", "ops"]}
//   {"name": "chat", "when": ["critical", "recovered"], "webhook": "https://...",
//    "headers": {"Authorization": "Bearer ..."}}
// "when" left out is critical and silent; "hosts" left out is every host.
class ActionRule final
{
    Q_DECLARE_TR_FUNCTIONS(ActionRule)

public:
    enum WhenFlag : quint8 { Critical = 0x1, Warning = 0x2, Silent = 0x4, Recovered = 0x8 };
    Q_DECLARE_FLAGS(When, WhenFlag)
    using Header = std::pair<QString, QString>;

    struct Key
    {
        static constexpr QLatin1StringView name{"name"};
        static constexpr QLatin1StringView when{"when"};
        static constexpr QLatin1StringView hosts{"hosts"};
        static constexpr QLatin1StringView run{"run"};
        static constexpr QLatin1StringView webhook{"webhook"};
        static constexpr QLatin1StringView headers{"headers"};
    };

    // The words of "when", in the order of the flags.
    static const QList<std::pair<WhenFlag, QLatin1StringView>> &whenWords();

    QString name;
    When when = When(Critical | Silent);
    QStringList hosts; // patterns with * and ?, ignoring case; empty: every host
    QStringList run;   // the program, then its arguments, as given to it
    QUrl webhook;
    QList<Header> headers;
    QJsonObject otherKeys; // keys this program does not know, kept for writing back
    // What keeps the action from running, each naming it; empty when it is sound.
    QStringList errors;

    // One entry of the list, numbered from 1 in the messages; a rule with a mistake keeps
    // what could be read, and is written back as it was.
    static ActionRule fromJson(const QJsonValue &json, int number);
    QJsonValue toJson() const;

    bool isSound() const { return errors.isEmpty(); }
    bool isWebhook() const { return !webhook.isEmpty(); }
    bool matchesHost(QStringView host) const;
    // Whether a host newly in this state is the action's business; a host back to normal is,
    // with "recovered", when the action was told of its trouble.
    bool wants(Trouble state) const;

    // "action 2 "pager"", as the messages name it.
    QString label(int number) const;

private:
    std::vector<HostPattern> m_patterns;
    QJsonValue m_asRead{QJsonValue::Undefined}; // where the rule has a mistake
};

Q_DECLARE_OPERATORS_FOR_FLAGS(ActionRule::When)
