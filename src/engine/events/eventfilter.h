#pragma once

#include "engine/archive/archivebatch.h"

#include <QString>
#include <QStringView>

// Which events are listed: those with the text found in their host, reading, states or value,
// ignoring case, and, for problems only, those that went into warning, critical or silent.
class EventFilter final
{
public:
    EventFilter() = default;
    EventFilter(const QString &text, bool problemsOnly);

    const QString &text() const { return m_text; }
    bool problemsOnly() const { return m_problemsOnly; }
    // Neither text nor problems only: every event.
    bool isEmpty() const { return m_text.isEmpty() && !m_problemsOnly; }
    bool accepts(const ArchiveEvent &event) const;

    // A state the user is to look at: warning, critical or silent.
    static bool isProblem(QStringView state);

    friend bool operator==(const EventFilter &, const EventFilter &) = default;

private:
    QString m_text; // without its surrounding blanks
    bool m_problemsOnly = false;
};
