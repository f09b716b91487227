#include "simcommandline.h"

#include "datagramformatter.h"

#include <QHostInfo>

#include <cmath>

namespace {

std::optional<QHostAddress> resolve(const QString &name)
{
    if (QHostAddress address; address.setAddress(name))
        return address;
    const QHostInfo info = QHostInfo::fromName(name);
    if (info.addresses().isEmpty())
        return std::nullopt;
    return info.addresses().constFirst();
}

} // namespace

SimCommandLine::SimCommandLine()
    : m_help(m_parser.addHelpOption())
    , m_version(m_parser.addVersionOption())
    , m_host(u"host"_qs, u"Address or name to send to."_qs, u"address"_qs, u"127.0.0.1"_qs)
    , m_port(u"port"_qs, u"UDP port to send to."_qs, u"port"_qs, u"5140"_qs)
    , m_hosts(u"hosts"_qs, u"Number of simulated hosts."_qs, u"n"_qs, u"100"_qs)
    , m_readings(u"readings"_qs, u"Named readings per host."_qs, u"n"_qs, u"8"_qs)
    , m_rate(u"rate"_qs, u"Datagrams per second; 0 sends as fast as possible."_qs, u"n"_qs,
             u"1000"_qs)
    , m_burst(u"burst"_qs, u"Send as fast as possible (as --rate 0)."_qs)
    , m_count(u"count"_qs, u"Stop after this many datagrams."_qs, u"n"_qs)
    , m_duration(u"duration"_qs,
                 u"Stop after this many seconds (default 10 when no --count is given)."_qs,
                 u"seconds"_qs)
    , m_batch(u"batch"_qs, u"Datagrams per system call, 1 to 64."_qs, u"n"_qs, u"64"_qs)
    , m_portable(u"portable"_qs, u"Send one datagram per call through QUdpSocket."_qs)
    , m_silentHosts(u"silent-hosts"_qs,
                    u"Part way through (see --silent-after), the last n hosts stop sending."_qs,
                    u"n"_qs, u"0"_qs)
    , m_silentReading(u"silent-reading"_qs,
                      u"Part way through, the first n hosts stop sending their last reading "
                      "and go on sending the others."_qs,
                      u"n"_qs, u"0"_qs)
    , m_silentAfter(u"silent-after"_qs,
                    u"When hosts and readings fall silent (default: halfway through "
                    "--duration, else after 30 seconds)."_qs,
                    u"seconds"_qs)
    , m_overLimits(u"over-limits"_qs,
                   u"The first n hosts now and then go over their limits: for 10 rounds in "
                   "every 30 (a round is one datagram of each reading of each host), each "
                   "host at a time of its own, all their readings rise well above their usual "
                   "range, then fall back."_qs,
                   u"n"_qs, u"0"_qs)
    , m_tcp(u"tcp"_qs, u"Send over one TCP connection, octet-counted, instead of datagrams."_qs)
    , m_tls(u"tls"_qs, u"Send over one TLS connection, octet-counted, instead of datagrams."_qs)
    , m_certificate(u"certificate"_qs, u"With --tls: the client's certificate (PEM)."_qs,
                    u"file"_qs)
    , m_key(u"key"_qs, u"With --tls: the client certificate's private key (PEM)."_qs, u"file"_qs)
    , m_ca(u"ca"_qs,
           u"With --tls: the CA that signed the receiver's certificate (PEM); without it the "
           "receiver is not checked."_qs,
           u"file"_qs)
{
    m_parser.setApplicationDescription(
        u"Sends the readings of simulated hosts to a Senvo-Net receiver as syslog datagrams."_qs);
    m_parser.addOptions({m_host, m_port, m_hosts, m_readings, m_rate, m_burst, m_count, m_duration,
                         m_batch, m_portable, m_silentHosts, m_silentReading, m_silentAfter,
                         m_overLimits, m_tcp, m_tls, m_certificate, m_key, m_ca});
}

std::optional<SimCommandLine::Options> SimCommandLine::fail(const QString &text)
{
    m_errorText = text;
    return std::nullopt;
}

std::optional<SimCommandLine::Options> SimCommandLine::parse(const QStringList &arguments)
{
    m_wantsHelp = m_wantsVersion = false;
    m_errorText.clear();
    if (!m_parser.parse(arguments))
        return fail(m_parser.errorText());
    if (!m_parser.positionalArguments().isEmpty())
        return fail(u"unexpected argument %1"_qs.arg(m_parser.positionalArguments().constFirst()));
    m_wantsHelp = m_parser.isSet(m_help);
    m_wantsVersion = m_parser.isSet(m_version);
    if (m_wantsHelp || m_wantsVersion)
        return std::nullopt;

    Options options;
    bool ok = false;
    const std::optional<QHostAddress> address = resolve(m_parser.value(m_host));
    if (!address)
        return fail(u"cannot resolve host %1"_qs.arg(m_parser.value(m_host)));
    options.address = *address;
    const uint port = m_parser.value(m_port).toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return fail(u"--port takes a number from 1 to 65535"_qs);
    options.port = quint16(port);
    options.hosts = m_parser.value(m_hosts).toInt(&ok);
    if (!ok || options.hosts < 1 || options.hosts > DatagramFormatter::maxHosts)
        return fail(u"--hosts takes a number from 1 to %1"_qs.arg(DatagramFormatter::maxHosts));
    options.readings = m_parser.value(m_readings).toInt(&ok);
    if (!ok || options.readings < 1 || options.readings > DatagramFormatter::maxReadings)
        return fail(
            u"--readings takes a number from 1 to %1"_qs.arg(DatagramFormatter::maxReadings));
    if (m_parser.isSet(m_burst)) {
        options.rate = 0;
    } else {
        options.rate = m_parser.value(m_rate).toDouble(&ok);
        if (!ok || !std::isfinite(options.rate) || options.rate < 0)
            return fail(u"--rate takes a number of datagrams per second, 0 or more"_qs);
    }
    if (m_parser.isSet(m_count)) {
        options.count = m_parser.value(m_count).toULongLong(&ok);
        if (!ok)
            return fail(u"--count takes a whole number"_qs);
    }
    if (m_parser.isSet(m_duration)) {
        options.duration = m_parser.value(m_duration).toDouble(&ok);
        if (!ok || !std::isfinite(options.duration) || options.duration < 0)
            return fail(u"--duration takes a number of seconds"_qs);
    } else if (!m_parser.isSet(m_count)) {
        // Never endless by accident.
        options.duration = 10;
    }
    options.batch = m_parser.value(m_batch).toInt(&ok);
    if (!ok || options.batch < 1 || options.batch > DatagramSender::maxBatch)
        return fail(u"--batch takes a number from 1 to %1"_qs.arg(DatagramSender::maxBatch));
    options.portable = m_parser.isSet(m_portable);
    options.tcp = m_parser.isSet(m_tcp);
    options.tls = m_parser.isSet(m_tls);
    if (options.tcp && options.tls)
        return fail(u"--tcp and --tls cannot both be given"_qs);
    options.certificate = m_parser.value(m_certificate);
    options.privateKey = m_parser.value(m_key);
    options.ca = m_parser.value(m_ca);
    if (options.certificate.isEmpty() != options.privateKey.isEmpty())
        return fail(u"--certificate and --key go together"_qs);

    // Some hosts keep sending, so that a run with a count still ends.
    options.silentHosts = m_parser.value(m_silentHosts).toInt(&ok);
    if (!ok || options.silentHosts < 0 || options.silentHosts >= options.hosts)
        return fail(u"--silent-hosts takes a number from 0 to one less than --hosts"_qs);
    options.silentReadings = m_parser.value(m_silentReading).toInt(&ok);
    if (!ok || options.silentReadings < 0 || options.silentReadings > options.hosts)
        return fail(u"--silent-reading takes a number from 0 to --hosts"_qs);
    if (options.silentReadings > 0 && options.readings < 2)
        return fail(u"--silent-reading needs hosts of at least two --readings"_qs);
    if (m_parser.isSet(m_silentAfter)) {
        options.silentAfter = m_parser.value(m_silentAfter).toDouble(&ok);
        if (!ok || !std::isfinite(options.silentAfter) || options.silentAfter < 0)
            return fail(u"--silent-after takes a number of seconds"_qs);
    } else if (std::isfinite(options.duration)) {
        options.silentAfter = options.duration / 2;
    }
    options.overLimitHosts = m_parser.value(m_overLimits).toInt(&ok);
    if (!ok || options.overLimitHosts < 0 || options.overLimitHosts > options.hosts)
        return fail(u"--over-limits takes a number from 0 to --hosts"_qs);
    return options;
}
