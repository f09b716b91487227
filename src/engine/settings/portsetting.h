#pragma once

#include "settingsfile.h"

#include <QObject>
#include <QString>

class DatagramReceiver;

// The port setting while the program runs: the port text, the file that keeps it between
// runs, and what happens when either changes. Windows show its text and its messages and
// forward the user's actions; the decisions are all made here.
class PortSetting final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PortSetting)

public:
    static constexpr QLatin1StringView defaultPort{"514"};

    struct ReadResult
    {
        SettingsFile::LoadResult file;
        QString problem; // what the user is to be told; empty when the read went well
    };

    enum class Outcome { NotApplied, AppliedNotSaved, AppliedAndSaved };

    struct ApplyResult
    {
        Outcome outcome = Outcome::NotApplied;
        QString message; // what the user is to be told; empty when applied and saved
    };

    PortSetting(const SettingsFile &file, DatagramReceiver *receiver, QObject *parent = nullptr);

    QString portText() const { return m_portText; }
    // The address bound at start-up and kept when the port changes; empty for every address.
    QString listenAddress() const { return m_listenAddress; }
    void setListenAddress(const QString &address) { m_listenAddress = address; }

    // Reads the stored port. A file that holds an item sets the text to it, whatever it is;
    // a missing or empty file leaves the text as it is.
    ReadResult read();
    // Listens on the port the start-up read gave; a stored value that is not a port gives way
    // to the default. Returns what the user is to be told, empty when all went well.
    QString bindAtStartUp(const ReadResult &loaded);
    // Moves the receiver to the port the text names and, once it listens there, keeps the
    // text and saves it. A port that cannot be listened on changes nothing.
    ApplyResult apply(const QString &text);
    // Writes the current text to the file.
    SettingsFile::SaveResult save() const;
    // Gives up an edit that was never applied: the text becomes the port listened on, or
    // the default when there is none.
    void followReceiver();

Q_SIGNALS:
    // The text was set, possibly to what it was: whoever shows an edit of it takes it over.
    void portTextChanged(const QString &text);
    // The receiver moved to a port the user chose.
    void portApplied();

private:
    void setPortText(const QString &text);

    const SettingsFile m_file;
    DatagramReceiver *const m_receiver;
    QString m_portText{defaultPort};
    QString m_listenAddress;
};
