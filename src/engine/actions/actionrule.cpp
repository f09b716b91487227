#include "actionrule.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {

// The value as the file writes it, cut short, for a message.
QString written(const QJsonValue &value)
{
    QString text;
    if (value.isString())
        text = u'"' + value.toString() + u'"';
    else if (value.isArray())
        text = QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    else if (value.isObject())
        text = QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    else
        text = QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
                   .mid(1)
                   .chopped(1);
    return text.size() > 60 ? text.left(60) + u"..."_qs : text;
}

// A word or a list of words; nothing when it is neither.
std::optional<QStringList> stringList(const QJsonValue &value)
{
    if (value.isString())
        return QStringList{value.toString()};
    if (!value.isArray())
        return std::nullopt;
    QStringList list;
    for (const QJsonValue item : value.toArray()) {
        if (!item.isString())
            return std::nullopt;
        list.append(item.toString());
    }
    return list;
}

// A token, as HTTP allows a header's name to be.
bool isHeaderName(QStringView name)
{
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return c.unicode() < 128
               && (c.isLetterOrNumber() || QStringView(u"!#$%&'*+-.^_`|~").contains(c));
    });
}

bool isHeaderValue(QStringView value)
{
    return std::none_of(value.begin(), value.end(),
                        [](QChar c) { return c == u'\r' || c == u'\n' || c == u'\0'; });
}

} // namespace

const QList<std::pair<ActionRule::WhenFlag, QLatin1StringView>> &ActionRule::whenWords()
{
    static const QList<std::pair<WhenFlag, QLatin1StringView>> words{
        {Critical, QLatin1StringView("critical")},
        {Warning, QLatin1StringView("warning")},
        {Silent, QLatin1StringView("silent")},
        {Recovered, QLatin1StringView("recovered")}};
    return words;
}

QString ActionRule::label(int number) const
{
    return name.trimmed().isEmpty() ? tr("action %1").arg(number)
                                    : tr("action %1 \"%2\"").arg(number).arg(name);
}

ActionRule ActionRule::fromJson(const QJsonValue &json, int number)
{
    ActionRule rule;
    if (!json.isObject()) {
        rule.errors.append(tr("action %1 is not an object ({ ... })").arg(number));
        rule.m_asRead = json;
        return rule;
    }
    const QJsonObject object = json.toObject();
    const QJsonValue name = object.value(Key::name);
    if (name.isString())
        rule.name = name.toString().trimmed();
    const QString label = rule.label(number);
    const auto problem = [&](const QString &what) { rule.errors.append(label + u": "_qs + what); };

    if (!name.isUndefined() && !name.isString())
        problem(tr("\"name\" is not text: %1").arg(written(name)));
    else if (rule.name.isEmpty())
        problem(tr("it has no \"name\", which its results are shown by"));

    if (const QJsonValue when = object.value(Key::when); !when.isUndefined()) {
        rule.when = {};
        const std::optional<QStringList> words = stringList(when);
        if (!words) {
            problem(tr("\"when\" is not a word or a list of words: %1").arg(written(when)));
        } else {
            for (const QString &word : *words) {
                const auto &known = whenWords();
                const auto found = std::find_if(known.begin(), known.end(), [&](const auto &w) {
                    return word.trimmed().compare(w.second, Qt::CaseInsensitive) == 0;
                });
                if (found == known.end())
                    problem(tr("\"when\" holds \"%1\", which is none of critical, warning, "
                               "silent and recovered")
                                .arg(word));
                else
                    rule.when |= found->first;
            }
            if (words->isEmpty())
                problem(tr("\"when\" is empty, so the action would never run"));
        }
    }

    if (const QJsonValue hosts = object.value(Key::hosts); !hosts.isUndefined()) {
        const std::optional<QStringList> patterns = stringList(hosts);
        if (!patterns || patterns->isEmpty()
            || std::any_of(patterns->begin(), patterns->end(),
                           [](const QString &p) { return p.trimmed().isEmpty(); }))
            problem(
                tr("\"hosts\" is not a host pattern or a list of them: %1").arg(written(hosts)));
        else
            for (const QString &pattern : *patterns)
                rule.hosts.append(pattern.trimmed());
    }

    const QJsonValue run = object.value(Key::run);
    const QJsonValue webhook = object.value(Key::webhook);
    if (run.isUndefined() == webhook.isUndefined())
        problem(run.isUndefined() ? tr("it has neither \"run\" nor \"webhook\": give one of them")
                                  : tr("it has both \"run\" and \"webhook\": give one of them"));
    if (!run.isUndefined()) {
        const std::optional<QStringList> words = run.isArray() ? stringList(run) : std::nullopt;
        if (!words)
            problem(tr("\"run\" is not a list of the program and its arguments, such as "
                       "[\"/usr/local/bin/page\", \"--team\", \"ops\"]: %1")
                        .arg(written(run)));
        else if (words->isEmpty() || words->first().trimmed().isEmpty())
            problem(tr("\"run\" names no program: the program comes first, then its arguments"));
        else
            rule.run = *words;
    }
    if (!webhook.isUndefined()) {
        const QUrl url(webhook.toString().trimmed(), QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (!webhook.isString() || !url.isValid() || url.host().isEmpty()
            || (scheme != u"http" && scheme != u"https"))
            problem(
                tr("\"webhook\" is not an http:// or https:// address: %1").arg(written(webhook)));
        else
            rule.webhook = url;
    }

    if (const QJsonValue headers = object.value(Key::headers); !headers.isUndefined()) {
        if (webhook.isUndefined())
            problem(tr("\"headers\" go with a \"webhook\" only"));
        if (!headers.isObject()) {
            problem(tr("\"headers\" is not an object of names and values, such as "
                       "{\"Authorization\": \"Bearer ...\"}: %1")
                        .arg(written(headers)));
        } else {
            const QJsonObject list = headers.toObject();
            for (auto it = list.begin(); it != list.end(); ++it) {
                if (!isHeaderName(it.key()))
                    problem(tr("the header name \"%1\" is not one HTTP allows").arg(it.key()));
                else if (!it.value().isString())
                    problem(tr("the header \"%1\" is given no text (Name: value)").arg(it.key()));
                else if (!isHeaderValue(it.value().toString()))
                    problem(tr("the header \"%1\" is not one line of text: %2")
                                .arg(it.key(), written(it.value())));
                else
                    rule.headers.append({it.key(), it.value().toString()});
            }
        }
    }

    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        if (key != Key::name && key != Key::when && key != Key::hosts && key != Key::run
            && key != Key::webhook && key != Key::headers)
            rule.otherKeys.insert(key, it.value());
    }
    for (const QString &pattern : std::as_const(rule.hosts))
        rule.m_patterns.emplace_back(pattern);
    if (!rule.isSound())
        rule.m_asRead = json;
    return rule;
}

QJsonValue ActionRule::toJson() const
{
    if (!m_asRead.isUndefined())
        return m_asRead;
    QJsonObject object = otherKeys;
    object.insert(Key::name, name);
    QJsonArray words;
    for (const auto &[flag, word] : whenWords()) {
        if (when.testFlag(flag))
            words.append(QString(word));
    }
    object.insert(Key::when, words);
    if (!hosts.isEmpty())
        object.insert(Key::hosts, QJsonArray::fromStringList(hosts));
    if (isWebhook()) {
        object.insert(Key::webhook, webhook.toString());
        if (!headers.isEmpty()) {
            QJsonObject list;
            for (const auto &[header, value] : headers)
                list.insert(header, value);
            object.insert(Key::headers, list);
        }
    } else {
        object.insert(Key::run, QJsonArray::fromStringList(run));
    }
    return object;
}

bool ActionRule::matchesHost(QStringView host) const
{
    return m_patterns.empty()
           || std::any_of(m_patterns.begin(), m_patterns.end(),
                          [host](const HostPattern &pattern) { return pattern.matches(host); });
}

bool ActionRule::wants(Trouble state) const
{
    switch (state) {
    case Trouble::Critical:
        return when.testFlag(Critical);
    case Trouble::Warning:
        return when.testFlag(Warning);
    case Trouble::Silent:
        return when.testFlag(Silent);
    case Trouble::Normal:
        break;
    }
    return when.testFlag(Recovered);
}
