#pragma once

#include <QRegularExpression>
#include <QStringView>

// A host pattern as Senvo-Net.json writes them: * for any characters, ? for one, ignoring
// case, matched against the whole name without its surrounding spaces.
class HostPattern final
{
public:
    explicit HostPattern(QStringView pattern);

    bool matches(QStringView host) const { return m_expression.match(host.trimmed()).hasMatch(); }

private:
    QRegularExpression m_expression;
};
