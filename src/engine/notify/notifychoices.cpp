#include "notifychoices.h"

#include <array>

namespace {

using Member = bool NotifyChoices::*;

struct Key
{
    QStringView name;
    Member member;
};

constexpr std::array keys{
    Key{u"notifyCritical", &NotifyChoices::critical},
    Key{u"notifySilent", &NotifyChoices::silent},
    Key{u"notifyWarning", &NotifyChoices::warning},
    Key{u"notifyRecovery", &NotifyChoices::recovery},
    Key{u"notifySound", &NotifyChoices::sound},
};

} // namespace

NotifyChoices NotifyChoices::fromJson(const QJsonObject &object)
{
    NotifyChoices choices;
    for (const Key &key : keys) {
        const QJsonValue value = object.value(key.name);
        if (value.isBool())
            choices.*key.member = value.toBool();
    }
    return choices;
}

QJsonObject NotifyChoices::toJson(QJsonObject kept) const
{
    for (const Key &key : keys)
        kept.insert(key.name, this->*key.member);
    return kept;
}
