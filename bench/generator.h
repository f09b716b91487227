#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

// senvo-sim running in a process of its own, so that it competes with the receiver
// for the processor the way a real sender on the same machine would.
class Generator final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Generator)

public:
    struct Traffic
    {
        int hosts = 1000;
        int readings = 20;
        quint64 count = 0; // 0: send for duration seconds instead
        double duration = 0;
        double rate = 0; // datagrams per second; 0 is as fast as the generator can
    };

    explicit Generator(QString program, QObject *parent = nullptr);

    // The generator built with this benchmark, else one next to it or on PATH.
    static QString find(const QString &preferred);

    bool start(quint16 port, const Traffic &traffic);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    bool waitForFinished(int milliseconds);

    // Known once it has finished.
    bool succeeded() const { return m_succeeded; }
    quint64 sent() const { return m_sent; }
    double sentRate() const { return m_sentRate; }
    QString errorString() const { return m_errorString; }

Q_SIGNALS:
    void finished();

private:
    void collect();

    const QString m_program;
    QProcess m_process;
    bool m_succeeded = false;
    quint64 m_sent = 0;
    double m_sentRate = 0;
    QString m_errorString;
};
