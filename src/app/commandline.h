#pragma once

#include <QString>
#include <QStringList>

// What the program is asked on its command line, decided before any window system is
// reached, so that --help and --version work without a display and never open the port.
// Qt's own window-system options ("-platform offscreen", "-style fusion") are let through
// for the application to take.
class CommandLine final
{
public:
    explicit CommandLine(const QStringList &arguments);

    // Otherwise the program prints message() and ends with exitCode().
    bool opensWindow() const { return m_opensWindow; }
    QString message() const { return m_message; }
    int exitCode() const { return m_exitCode; }

private:
    void finish(const QString &message, int exitCode);

    bool m_opensWindow = true;
    QString m_message;
    int m_exitCode = 0;
};
