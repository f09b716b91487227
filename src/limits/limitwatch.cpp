#include "limitwatch.h"

LimitWatch::LimitWatch(QObject *parent)
    : QObject(parent)
{
}

void LimitWatch::setRules(const LimitRules &rules)
{
    m_rules = rules;
}
