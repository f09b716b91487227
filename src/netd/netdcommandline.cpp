#include "netdcommandline.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("NetdCommandLine", text);
}

} // namespace

NetdCommandLine::NetdCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Receives the readings that Senvo 5 machines send over the network, without a "
           "window, and serves them to Prometheus."));
    const QCommandLineOption help({u"h"_qs, u"help"_qs}, tr("Displays this help and exits."));
    const QCommandLineOption version({u"v"_qs, u"version"_qs},
                                     tr("Displays the version and exits."));
    const QCommandLineOption config(
        u"config"_qs, tr("The folder that holds Senvo-Net.ini and Senvo-Net.json."), tr("folder"));
    const QCommandLineOption data(u"data"_qs, tr("The folder the receiver keeps its data in."),
                                  tr("folder"));
    parser.addOptions({help, version, config, data});

    const QString tryHelp = tr("Try \"%1 --help\".").arg(arguments.value(0));
    if (!parser.parse(arguments)) {
        finish(parser.errorText() + u'\n' + tryHelp, 1);
        return;
    }
    if (!parser.positionalArguments().isEmpty()) {
        finish(tr("The program takes no arguments: \"%1\".")
                       .arg(parser.positionalArguments().constFirst())
                   + u'\n' + tryHelp,
               1);
        return;
    }
    if (parser.isSet(help)) {
        finish(parser.helpText(), 0);
        return;
    }
    if (parser.isSet(version)) {
        finish(QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion()
                   + u'\n',
               0);
        return;
    }
    m_config = parser.value(config);
    m_data = parser.value(data);
    // A mistyped folder would otherwise run a receiver with no settings at all.
    for (const QString &folder : {m_config, m_data}) {
        if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
            finish(tr("\"%1\" is not a folder.").arg(folder) + u'\n' + tryHelp, 1);
            return;
        }
    }
}

void NetdCommandLine::finish(const QString &message, int exitCode)
{
    m_runs = false;
    m_message = message;
    m_exitCode = exitCode;
}
