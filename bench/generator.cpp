#include "generator.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

Generator::Generator(QString program, QObject *parent)
    : QObject(parent)
    , m_program(std::move(program))
{
    connect(&m_process, &QProcess::finished, this, &Generator::collect);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            collect();
    });
}

QString Generator::find(const QString &preferred)
{
    const QString dir = QCoreApplication::applicationDirPath();
    const QStringList candidates{preferred, QStringLiteral(SENVO_SIM_PATH),
                                 dir + u"/../senvo-sim/senvo-sim"_qs, dir + u"/senvo-sim"_qs};
    for (const QString &candidate : candidates) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isExecutable())
            return QFileInfo(candidate).absoluteFilePath();
    }
    return QStandardPaths::findExecutable(u"senvo-sim"_qs);
}

bool Generator::start(quint16 port, const Traffic &traffic)
{
    m_succeeded = false;
    m_sent = 0;
    m_sentRate = 0;
    m_errorString.clear();
    QStringList arguments{u"--port"_qs,     QString::number(port),
                          u"--hosts"_qs,    QString::number(traffic.hosts),
                          u"--readings"_qs, QString::number(traffic.readings)};
    if (traffic.count > 0)
        arguments << u"--count"_qs << QString::number(traffic.count);
    else
        arguments << u"--duration"_qs << QString::number(traffic.duration);
    if (traffic.rate > 0)
        arguments << u"--rate"_qs << QString::number(traffic.rate, 'f', 0);
    else
        arguments << u"--burst"_qs;
    m_process.start(m_program, arguments);
    if (!m_process.waitForStarted(10000)) {
        m_errorString = m_process.errorString();
        return false;
    }
    return true;
}

bool Generator::waitForFinished(int milliseconds)
{
    if (isRunning() && !m_process.waitForFinished(milliseconds))
        return false;
    return true;
}

void Generator::collect()
{
    const QString output = QString::fromLocal8Bit(m_process.readAllStandardOutput());
    static const QRegularExpression line(
        uR"(sent (\d+) datagrams, \d+ bytes in [\d.]+ s \((\d+) datagrams/s\))"_qs);
    const QRegularExpressionMatch match = line.match(output);
    m_succeeded = m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0
                  && match.hasMatch();
    if (match.hasMatch()) {
        m_sent = match.captured(1).toULongLong();
        m_sentRate = match.captured(2).toDouble();
    }
    if (!m_succeeded) {
        m_errorString = QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed();
        if (m_errorString.isEmpty())
            m_errorString = m_process.errorString();
    }
    Q_EMIT finished();
}
