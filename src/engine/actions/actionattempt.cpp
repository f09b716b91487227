#include "actionattempt.h"

QString ActionAttempt::durationText(int ms)
{
    return ms % 1000 == 0 ? tr("%1 s").arg(ms / 1000) : tr("%1 ms").arg(ms);
}
