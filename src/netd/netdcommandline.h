#pragma once

#include <QString>
#include <QStringList>

// What senvo-netd is asked on its command line: where its settings and its data are, or only
// its help or version.
class NetdCommandLine final
{
public:
    explicit NetdCommandLine(const QStringList &arguments);

    // Otherwise the program prints message() and ends with exitCode().
    bool runs() const { return m_runs; }
    QString message() const { return m_message; }
    int exitCode() const { return m_exitCode; }

    // Empty where not given: the user's settings folder, the user's data folder.
    QString configDirectory() const { return m_config; }
    QString dataDirectory() const { return m_data; }

private:
    void finish(const QString &message, int exitCode);

    bool m_runs = true;
    QString m_message;
    int m_exitCode = 0;
    QString m_config;
    QString m_data;
};
