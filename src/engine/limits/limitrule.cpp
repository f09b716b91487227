#include "limitrule.h"

#include "engine/reception/valuenumber.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QLocale>

#include <cmath>

namespace {

namespace Key {
constexpr QLatin1StringView reading{"reading"};
constexpr QLatin1StringView hosts{"hosts"};
constexpr QLatin1StringView warningAbove{"warningAbove"};
constexpr QLatin1StringView criticalAbove{"criticalAbove"};
constexpr QLatin1StringView warningBelow{"warningBelow"};
constexpr QLatin1StringView criticalBelow{"criticalBelow"};
constexpr QLatin1StringView warningText{"warningText"};
constexpr QLatin1StringView criticalText{"criticalText"};
constexpr QLatin1StringView after{"after"};
constexpr QLatin1StringView margin{"margin"};
} // namespace Key

QString tr(const char *text)
{
    return QCoreApplication::translate("LimitRule", text);
}

QString shortest(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// How a value looked in the file, for a message: strings quoted, the rest as JSON writes it.
QString written(const QJsonValue &json)
{
    switch (json.type()) {
    case QJsonValue::String:
        return u'"' + json.toString() + u'"';
    case QJsonValue::Double:
        return shortest(json.toDouble());
    case QJsonValue::Bool:
        return json.toBool() ? u"true"_qs : u"false"_qs;
    case QJsonValue::Null:
        return u"null"_qs;
    case QJsonValue::Array:
        return tr("a list");
    default:
        return tr("an object");
    }
}

// One string or a list of strings, each trimmed; nullopt when json is anything else.
std::optional<QStringList> stringList(const QJsonValue &json)
{
    QStringList list;
    if (json.isString()) {
        list.append(json.toString().trimmed());
        return list;
    }
    if (!json.isArray())
        return std::nullopt;
    for (const QJsonValue item : json.toArray()) {
        if (!item.isString())
            return std::nullopt;
        list.append(item.toString().trimmed());
    }
    return list;
}

QJsonValue listToJson(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

bool isPlainNumber(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (!(c.isDigit() || c == u'.' || c == u'-' || c == u'+'))
            return false;
    }
    return true;
}

} // namespace

LimitRule::Bound LimitRule::Bound::fromJson(const QJsonValue &json)
{
    if (json.isDouble()) {
        Bound bound;
        bound.value = json.toDouble();
        bound.text = shortest(bound.value);
        bound.ok = true;
        return bound;
    }
    if (json.isString())
        return fromText(json.toString());
    return {};
}

LimitRule::Bound LimitRule::Bound::fromText(const QString &text)
{
    Bound bound;
    bound.text = text.trimmed();
    const ValueNumber number = ValueNumber::read(bound.text);
    if (number.ok) {
        bound.value = number.value;
        bound.unit = number.unit.toString();
        bound.ok = true;
    }
    return bound;
}

QJsonValue LimitRule::Bound::toJson() const
{
    if (ok && unit.isEmpty() && isPlainNumber(text))
        return value;
    return text;
}

LimitRule LimitRule::fromJson(const QJsonValue &json, int number, QStringList &errors)
{
    LimitRule rule;
    if (!json.isObject()) {
        errors.append(tr("rule %1 is not an object ({ ... })").arg(number));
        return rule;
    }
    const auto problem = [&](QLatin1StringView key, const char *what, const QJsonValue &value) {
        errors.append(tr("rule %1: \"%2\" %3: %4").arg(number).arg(key, tr(what), written(value)));
    };
    const QJsonObject object = json.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        if (key == Key::reading) {
            if (value.isString())
                rule.reading = value.toString().trimmed();
            else
                problem(Key::reading, QT_TRANSLATE_NOOP("LimitRule", "is not a name"), value);
        } else if (key == Key::hosts) {
            const std::optional<QStringList> hosts = stringList(value);
            if (!hosts || hosts->isEmpty() || hosts->contains(QString()))
                problem(Key::hosts,
                        QT_TRANSLATE_NOOP("LimitRule", "is not a host pattern or a list of them"),
                        value);
            else
                rule.hosts = *hosts;
        } else if (key == Key::warningText || key == Key::criticalText) {
            const std::optional<QStringList> words = stringList(value);
            if (!words)
                problem(key == Key::warningText ? Key::warningText : Key::criticalText,
                        QT_TRANSLATE_NOOP("LimitRule", "is not a word or a list of words"), value);
            else
                (key == Key::warningText ? rule.warningText : rule.criticalText) = words;
        } else if (key == Key::after) {
            const double after = value.toDouble(-1);
            if (!value.isDouble() || after != std::floor(after) || after < 1 || after > maxAfter)
                errors.append(tr("rule %1: \"%2\" is not a whole number from 1 to %3: %4")
                                  .arg(number)
                                  .arg(Key::after)
                                  .arg(maxAfter)
                                  .arg(written(value)));
            else
                rule.after = int(after);
        } else if (key == Key::margin) {
            const Bound margin = Bound::fromJson(value);
            if (!margin.ok || !margin.unit.isEmpty() || margin.value < 0)
                problem(
                    Key::margin,
                    QT_TRANSLATE_NOOP("LimitRule", "is not a number of 0 or more without a unit"),
                    value);
            else
                rule.margin = margin.value;
        } else {
            std::optional<Bound> *bound = nullptr;
            QLatin1StringView name;
            for (const auto &[candidate, member] :
                 {std::pair{Key::warningAbove, &rule.warningAbove},
                  std::pair{Key::criticalAbove, &rule.criticalAbove},
                  std::pair{Key::warningBelow, &rule.warningBelow},
                  std::pair{Key::criticalBelow, &rule.criticalBelow}}) {
                if (key == candidate) {
                    bound = member;
                    name = candidate;
                }
            }
            if (!bound) {
                rule.otherKeys.insert(key, value);
                continue;
            }
            *bound = Bound::fromJson(value);
            if (!(*bound)->ok)
                problem(name, QT_TRANSLATE_NOOP("LimitRule", "is not a number"), value);
        }
    }
    if (!object.contains(Key::reading)
        || (object.value(Key::reading).isString() && rule.reading.isEmpty()))
        errors.append(tr("rule %1 has no \"reading\"").arg(number));
    return rule;
}

QJsonObject LimitRule::toJson() const
{
    QJsonObject object = otherKeys;
    object.insert(Key::reading, reading);
    if (!hosts.isEmpty())
        object.insert(Key::hosts, listToJson(hosts));
    for (const auto &[key, bound] : {std::pair{Key::warningAbove, &warningAbove},
                                     std::pair{Key::criticalAbove, &criticalAbove},
                                     std::pair{Key::warningBelow, &warningBelow},
                                     std::pair{Key::criticalBelow, &criticalBelow}}) {
        if (*bound)
            object.insert(key, (*bound)->toJson());
    }
    if (warningText)
        object.insert(Key::warningText, listToJson(*warningText));
    if (criticalText)
        object.insert(Key::criticalText, listToJson(*criticalText));
    if (after)
        object.insert(Key::after, *after);
    if (margin)
        object.insert(Key::margin, *margin);
    return object;
}

void LimitRule::fillFrom(const LimitRule &other)
{
    const auto fill = [](auto &mine, const auto &theirs) {
        if (!mine)
            mine = theirs;
    };
    fill(warningAbove, other.warningAbove);
    fill(criticalAbove, other.criticalAbove);
    fill(warningBelow, other.warningBelow);
    fill(criticalBelow, other.criticalBelow);
    fill(warningText, other.warningText);
    fill(criticalText, other.criticalText);
    fill(after, other.after);
    fill(margin, other.margin);
}

double LimitRule::marginFor(const Bound &bound) const
{
    return margin.value_or(defaultMarginShare * std::abs(bound.value));
}
