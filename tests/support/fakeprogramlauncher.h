#pragma once

#include "engine/about/programlauncher.h"

#include <QStringList>

// Records the programs it is asked to start instead of starting them.
class FakeProgramLauncher final : public ProgramLauncher
{
public:
    FakeProgramLauncher() = default;

    void setSucceeds(bool succeeds) { m_succeeds = succeeds; }

    bool start(const QString &program) override
    {
        m_started.append(program);
        return m_succeeds;
    }

    const QStringList &started() const { return m_started; }

private:
    QStringList m_started;
    bool m_succeeds = true;
};
