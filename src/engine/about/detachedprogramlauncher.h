#pragma once

#include "programlauncher.h"

// Starts the program as a detached process that outlives this one.
class DetachedProgramLauncher final : public ProgramLauncher
{
public:
    DetachedProgramLauncher() = default;

    bool start(const QString &program) override;
};
