#pragma once

#include <QtGlobal>

// What this process has used so far, as the kernel counts it.
class ProcessStats final
{
public:
    ProcessStats() = delete;

    // User and system time of the whole process, in seconds.
    static double cpuSeconds();
    // Processor time of the calling thread, in nanoseconds: not wall time, as the machine
    // may be shared.
    static qint64 threadCpuNanos();
    // Resident memory now and at its peak, in bytes; 0 where unknown.
    static qint64 residentBytes();
    static qint64 peakResidentBytes();
    // Starts a new peak from the current resident size; false where unsupported.
    static bool resetPeak();
};
