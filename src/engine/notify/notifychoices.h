#pragma once

#include <QJsonObject>
#include <QStringView>

// Which kinds of news become a desktop notification, and whether it plays a sound.
struct NotifyChoices
{
    // The key of the object these are kept under in the program's JSON file.
    static constexpr QStringView jsonKey = u"notifications";

    bool critical = true;
    bool silent = true;
    bool warning = false;
    bool recovery = false;
    bool sound = false;

    // The keys of that object; a missing key, or one that is not true or false, keeps its
    // default.
    static NotifyChoices fromJson(const QJsonObject &object);
    // Writes these choices over their keys in kept; every other key in it stays as it was.
    QJsonObject toJson(QJsonObject kept = {}) const;

    friend bool operator==(const NotifyChoices &, const NotifyChoices &) = default;
};
