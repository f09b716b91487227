#include "programaction.h"

#include "actionbatch.h"

namespace {

// Enough of a line to say what went wrong.
constexpr qsizetype errorLineBytes = 300;

} // namespace

ProgramAction::ProgramAction(const QStringList &run, const ActionBatch &batch, int timeoutMs,
                             QObject *parent)
    : ActionAttempt(parent)
    , m_run(run)
    , m_input(batch.toJson())
{
    // What came from a datagram goes into values alone, never into the command line.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"SENVO_SUMMARY"_qs, batch.summary());
    environment.insert(u"SENVO_STATE"_qs, batch.worstState());
    environment.insert(u"SENVO_HOSTS"_qs, batch.hostList());
    m_process.setProcessEnvironment(environment);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(timeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        m_killed = true;
        m_process.kill();
    });
    connect(&m_process, &QProcess::started, this, [this] {
        m_process.write(m_input);
        m_process.closeWriteChannel();
    });
    connect(&m_process, &QProcess::readyReadStandardError, this, &ProgramAction::readErrors);
    connect(&m_process, &QProcess::finished, this, &ProgramAction::ended);
    // Queued: Windows tells a program that cannot start within start(), before whoever
    // started it could listen; every platform then tells it the same way, afterwards.
    connect(
        &m_process, &QProcess::errorOccurred, this,
        [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                end({false, false,
                     tr("could not start %1: %2").arg(m_run.first(), m_process.errorString())});
        },
        Qt::QueuedConnection);
}

ProgramAction::~ProgramAction()
{
    // Only when the program itself goes away: it is not waited for.
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

void ProgramAction::start()
{
    m_timeout.start();
    m_process.start(m_run.first(), m_run.mid(1), QIODevice::ReadWrite);
}

void ProgramAction::readErrors()
{
    const QByteArray bytes = m_process.readAllStandardError();
    if (m_lineComplete)
        return;
    const qsizetype newline = bytes.indexOf('\n');
    m_errorLine += newline < 0 ? bytes : bytes.first(newline);
    m_lineComplete = newline >= 0 || m_errorLine.size() >= errorLineBytes;
    m_errorLine.truncate(errorLineBytes);
}

void ProgramAction::ended(int exitCode, QProcess::ExitStatus status)
{
    readErrors();
    if (m_killed) {
        end({false, false, tr("killed after %1").arg(durationText(m_timeout.interval()))});
        return;
    }
    if (status == QProcess::CrashExit) {
        end({false, false, tr("it crashed")});
        return;
    }
    QString detail = tr("exit %1").arg(exitCode);
    const QString line = QString::fromLocal8Bit(m_errorLine).trimmed();
    if (exitCode != 0 && !line.isEmpty())
        detail += u": "_qs + line;
    end({exitCode == 0, false, detail});
}

void ProgramAction::end(const Outcome &outcome)
{
    if (m_ended)
        return;
    m_ended = true;
    m_timeout.stop();
    Q_EMIT finished(outcome);
}
