#include "hostpattern.h"

HostPattern::HostPattern(QStringView pattern)
{
    QString expression;
    expression.reserve(pattern.size() + 8);
    qsizetype literal = 0;
    const auto flush = [&](qsizetype end) {
        expression += QRegularExpression::escape(pattern.sliced(literal, end - literal));
    };
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'*' || pattern[i] == u'?') {
            flush(i);
            expression += pattern[i] == u'*' ? u".*"_qs : u"."_qs;
            literal = i + 1;
        }
    }
    flush(pattern.size());
    m_expression = QRegularExpression(QRegularExpression::anchoredPattern(expression),
                                      QRegularExpression::CaseInsensitiveOption
                                          | QRegularExpression::DotMatchesEverythingOption);
    m_expression.optimize();
}
