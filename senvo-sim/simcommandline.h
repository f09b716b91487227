#pragma once

#include "datagramsender.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <limits>
#include <optional>

// senvo-sim's command line: what to send, where, how fast and for how long.
class SimCommandLine final
{
    Q_DISABLE_COPY_MOVE(SimCommandLine)

public:
    struct Options
    {
        QHostAddress address;
        quint16 port = 5140;
        int hosts = 100;
        int readings = 8;
        double rate = 1000; // datagrams per second; 0 is as fast as possible
        quint64 count = std::numeric_limits<quint64>::max();
        double duration = std::numeric_limits<double>::infinity(); // seconds
        int batch = DatagramSender::maxBatch;
        bool portable = false;
        // Part way through, the last silentHosts hosts stop sending, and the first
        // silentReadings hosts stop sending their last reading.
        int silentHosts = 0;
        int silentReadings = 0;
        double silentAfter = 30; // seconds
        // The first overLimitHosts hosts now and then rise well above their usual range.
        int overLimitHosts = 0;
        // Over one TCP or TLS connection, octet-counted, instead of datagrams.
        bool tcp = false;
        bool tls = false;
        QString certificate; // TLS: the client's certificate and key, PEM
        QString privateKey;
        QString ca; // TLS: the CA that signed the receiver's certificate
    };

    SimCommandLine();

    // Reads arguments, the program's name first. Nothing when they hold a mistake (see
    // errorText()) or ask for help or the version.
    std::optional<Options> parse(const QStringList &arguments);

    bool wantsHelp() const { return m_wantsHelp; }
    bool wantsVersion() const { return m_wantsVersion; }
    QString helpText() const { return m_parser.helpText(); }
    QString errorText() const { return m_errorText; }

private:
    std::optional<Options> fail(const QString &text);

    QCommandLineParser m_parser;
    const QCommandLineOption m_help;
    const QCommandLineOption m_version;
    const QCommandLineOption m_host;
    const QCommandLineOption m_port;
    const QCommandLineOption m_hosts;
    const QCommandLineOption m_readings;
    const QCommandLineOption m_rate;
    const QCommandLineOption m_burst;
    const QCommandLineOption m_count;
    const QCommandLineOption m_duration;
    const QCommandLineOption m_batch;
    const QCommandLineOption m_portable;
    const QCommandLineOption m_silentHosts;
    const QCommandLineOption m_silentReading;
    const QCommandLineOption m_silentAfter;
    const QCommandLineOption m_overLimits;
    const QCommandLineOption m_tcp;
    const QCommandLineOption m_tls;
    const QCommandLineOption m_certificate;
    const QCommandLineOption m_key;
    const QCommandLineOption m_ca;
    bool m_wantsHelp = false;
    bool m_wantsVersion = false;
    QString m_errorText;
};
