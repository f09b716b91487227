#include "daemonlog.h"

#include <QDateTime>
#include <QRegularExpression>

DaemonLog::DaemonLog(std::FILE *out)
    : m_out(out)
    , m_journal(qEnvironmentVariableIsSet("JOURNAL_STREAM"))
{
}

void DaemonLog::write(Level level, const QString &text) const
{
    const QString prefix = m_journal ? u"<%1>"_qs.arg(int(level))
                                     : QDateTime::currentDateTime().toString(Qt::ISODate) + u' ';
    const QByteArray line = (prefix + oneLine(text) + u'\n').toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), m_out);
    std::fflush(m_out);
}

QString DaemonLog::oneLine(const QString &text)
{
    static const QRegularExpression breaks(u"\\s*\\n\\s*"_qs);
    QString line = text.trimmed().replace(breaks, u" "_qs);
    // A host's name comes from the network: no control character may forge a line.
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control)
            c = u'?';
    }
    return line;
}
