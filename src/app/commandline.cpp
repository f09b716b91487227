#include "commandline.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}

} // namespace

CommandLine::CommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Shows the readings that Senvo 5 machines send over the network."));
    // Qt's options are written with one dash.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({u"h"_qs, u"help"_qs}, tr("Displays this help and exits."));
    const QCommandLineOption version({u"v"_qs, u"version"_qs},
                                     tr("Displays the version and exits."));
    parser.addOptions({help, version});
    for (const char *name :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
          "qwindowicon", "qwindowtitle", "session", "display", "geometry", "style", "stylesheet"}) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), u"value"_qs);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const QString tryHelp = tr("Try \"%1 --help\".").arg(arguments.value(0));
    if (!parser.parse(arguments))
        finish(parser.errorText() + u'\n' + tryHelp, 1);
    else if (!parser.positionalArguments().isEmpty())
        finish(tr("The program takes no arguments: \"%1\".")
                       .arg(parser.positionalArguments().constFirst())
                   + u'\n' + tryHelp,
               1);
    else if (parser.isSet(help))
        finish(parser.helpText(), 0);
    else if (parser.isSet(version))
        finish(QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion()
                   + u'\n',
               0);
}

void CommandLine::finish(const QString &message, int exitCode)
{
    m_opensWindow = false;
    m_message = message;
    m_exitCode = exitCode;
}
