#pragma once

#include <QString>
#include <QtGlobal>

// A length of time, given in tenths of a second, as a person reads it: "2.5 s", "45 s",
// "3 min 12 s", "5 h 20 min", "12 d 4 h". Beyond the largest unit shown, the rest is
// dropped rather than rounded, so that "59 s" never reads as "1 min".
QString durationText(qint64 tenths);
