#pragma once

#include <QString>

#include <cstdio>

// One line per event worth an operator's eye, on standard error. Under systemd the journal
// stamps the time and reads the priority from a "<N>" prefix; elsewhere the line starts
// with the local time.
class DaemonLog final
{
public:
    enum class Level { Error = 3, Warning = 4, Notice = 5, Info = 6 };

    explicit DaemonLog(std::FILE *out = stderr);

    void write(Level level, const QString &text) const;

    // Text as one line: a message of several paragraphs is joined, so that each event stays
    // one entry in the journal.
    static QString oneLine(const QString &text);

private:
    std::FILE *const m_out;
    const bool m_journal;
};
