#pragma once

#include <QString>

// Starts another program on its own, with a normal window that takes the focus.
class ProgramLauncher
{
public:
    ProgramLauncher() = default;
    virtual ~ProgramLauncher() = default;
    Q_DISABLE_COPY_MOVE(ProgramLauncher)

    // False when the program could not be started.
    virtual bool start(const QString &program) = 0;
};
