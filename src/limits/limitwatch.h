#pragma once

#include "limitrules.h"

#include <QObject>

// Holds the limits in force. Applying them to the table comes with the table's side.
class LimitWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LimitWatch)

public:
    explicit LimitWatch(QObject *parent = nullptr);

    void setRules(const LimitRules &rules);
    const LimitRules &rules() const { return m_rules; }

private:
    LimitRules m_rules;
};
