#include "portsetting.h"

#include "engine/reception/datagramreceiver.h"

#include <QDir>
#include <QStringList>

namespace {

// A stored value may be anything, binary bytes included: quote only a harmless prefix.
QString quoted(const QString &text)
{
    QString shown = text.left(40);
    for (QChar &c : shown) {
        if (!c.isPrint())
            c = QChar::ReplacementCharacter;
    }
    return text.size() > shown.size() ? shown + u'\u2026' : shown;
}

} // namespace

PortSetting::PortSetting(const SettingsFile &file, DatagramReceiver *receiver, QObject *parent)
    : QObject(parent)
    , m_file(file)
    , m_receiver(receiver)
{
}

PortSetting::ReadResult PortSetting::read()
{
    ReadResult result;
    result.file = m_file.load();
    switch (result.file.status) {
    case SettingsFile::LoadResult::Status::Read:
        setPortText(result.file.item);
        break;
    case SettingsFile::LoadResult::Status::Failed:
        result.problem = tr("The stored port could not be read. %1").arg(result.file.error);
        break;
    case SettingsFile::LoadResult::Status::NoFile:
    case SettingsFile::LoadResult::Status::Empty:
        break;
    }
    return result;
}

QString PortSetting::bindAtStartUp(const ReadResult &loaded)
{
    QStringList problems;
    if (!loaded.problem.isEmpty())
        problems << loaded.problem;
    if (loaded.file.status == SettingsFile::LoadResult::Status::Read
        && !DatagramReceiver::portFromText(loaded.file.item)) {
        problems << tr("The stored port \"%1\" in %2 is not a port number (a whole number from "
                       "1 to 65535), so port %3 is used instead.")
                        .arg(quoted(loaded.file.item), QDir::toNativeSeparators(loaded.file.path),
                             defaultPort);
        setPortText(QString(defaultPort));
    }
    if (!m_receiver->bind(m_portText, m_listenAddress)) {
        problems << tr("No readings can be received: %1").arg(m_receiver->errorString())
                 << tr("Choose another port in Tools \u2192 Options.");
    }
    return problems.join(u"\n\n"_qs);
}

PortSetting::ApplyResult PortSetting::apply(const QString &text)
{
    ApplyResult result;
    if (!m_receiver->rebind(text, m_listenAddress)) {
        const QString still =
            m_receiver->isListening()
                ? tr("Readings are still received on port %1.").arg(m_receiver->port())
                : tr("No readings are being received.");
        result.message = tr("Senvo-Net cannot listen on the port you entered.\n\n%1\n\n%2 Enter "
                            "another port and press OK.")
                             .arg(m_receiver->errorString(), still);
        return result;
    }
    setPortText(text);
    const SettingsFile::SaveResult saved = save();
    Q_EMIT portApplied();
    if (!saved.saved) {
        result.outcome = Outcome::AppliedNotSaved;
        result.message = tr("Readings are now received on port %1, but the port could not be "
                            "saved, so the next start will not use it.\n\n%2")
                             .arg(m_receiver->port())
                             .arg(saved.error);
        return result;
    }
    result.outcome = Outcome::AppliedAndSaved;
    return result;
}

SettingsFile::SaveResult PortSetting::save() const
{
    return m_file.save(m_portText);
}

void PortSetting::followReceiver()
{
    setPortText(m_receiver->isListening() ? QString::number(m_receiver->port())
                                          : QString(defaultPort));
}

void PortSetting::setPortText(const QString &text)
{
    m_portText = text;
    Q_EMIT portTextChanged(m_portText);
}
