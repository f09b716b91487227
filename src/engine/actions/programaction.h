#pragma once

#include "actionattempt.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTimer>

class ActionBatch;

// Runs an action's program: started directly, no shell, with its arguments as given, the
// batch's JSON on its standard input and SENVO_SUMMARY, SENVO_STATE and SENVO_HOSTS in its
// environment; killed when it runs too long. Its output is thrown away; the first line of its
// error output is kept to say why it failed.
class ProgramAction final : public ActionAttempt
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgramAction)

public:
    ProgramAction(const QStringList &run, const ActionBatch &batch, int timeoutMs,
                  QObject *parent = nullptr);
    ~ProgramAction() override;

    void start() override;

private:
    void readErrors();
    void ended(int exitCode, QProcess::ExitStatus status);
    void end(const Outcome &outcome);

    QProcess m_process;
    QTimer m_timeout;
    const QStringList m_run;
    const QByteArray m_input;
    QByteArray m_errorLine;
    bool m_lineComplete = false;
    bool m_killed = false;
    bool m_ended = false;
};
