#pragma once

#include "notification.h"
#include "notifychoices.h"
#include "troubleevent.h"

#include "engine/limits/trouble.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Decides what the desktop is told about hosts that get into trouble and out of it: news
// gathered over a few seconds goes out as one notification, nothing while every host
// reports for the first time, nothing while muted, and only the kinds the user chose.
// It knows no desktop; whoever shows notifications listens to notify(), and whatever acts on
// trouble otherwise hears the same batch, every change in it, through gathered().
class Notifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Notifier)

public:
    // A host's worst state as the table sees it.
    using HostState = Trouble;

    // Milliseconds on a clock that only moves forward.
    using Clock = std::function<qint64()>;

    static constexpr qint64 gatheringMs = 10'000;
    static constexpr qint64 graceMs = 60'000;
    // Hosts named on one line; the rest are counted.
    static constexpr int namesPerLine = 5;

    explicit Notifier(QObject *parent = nullptr);
    explicit Notifier(Clock clock, QObject *parent = nullptr);
    // Milliseconds since it was made.
    static Clock steadyClock();

    NotifyChoices choices() const { return m_choices; }
    void setChoices(const NotifyChoices &choices) { m_choices = choices; }

    // A host's worst state changed; detail says what, briefly ("CPU 97"), and reading the same
    // for those who act on it.
    void hostChanged(const QString &host, HostState state, const QString &detail = {},
                     const TroubleReading &reading = {});
    // Every host is about to report for the first time again (the port changed): what
    // is known of them is forgotten and nothing is said for a while.
    void restartGrace();
    // The host left the table: it is forgotten, its news with it, and its going is no
    // recovery.
    void forgetHost(const QString &host);

    void muteFor(qint64 ms);
    void muteUntilUnmuted();
    void unmute();
    bool isMuted() const;

    // The desktop says the last notification is gone: the next one stands on its own.
    void notificationClosed() { m_shown = false; }

    // Sends the gathered batch once it is due. A timer calls it; tests call it.
    void poll();

Q_SIGNALS:
    void notify(const Notification &notification);
    // Every host whose state changed since the batch before, whatever the choices say, in
    // the order first heard; never empty.
    void gathered(const TroubleEvents &events);

private:
    struct Known
    {
        HostState state = HostState::Normal;
        // Its trouble was told and its recovery not yet.
        bool told = false;
    };
    struct News
    {
        QString host;
        HostState state;
        QString detail;
        TroubleReading reading;
    };

    static QString bodyLine(HostState kind, const QList<News> &said);
    void settle(const QString &host, HostState state);
    void dropGathered();
    bool chosen(HostState state) const;
    void armTimer(qint64 now);

    Clock m_clock;
    NotifyChoices m_choices;
    QHash<QString, Known> m_known;
    QList<News> m_gathered;
    QHash<QString, qsizetype> m_gatheredIndex;
    qint64 m_dueMs = -1;
    qint64 m_graceEndsMs = 0;
    qint64 m_mutedUntilMs = 0;
    bool m_shown = false;
    QTimer m_timer;
};
