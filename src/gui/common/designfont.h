#pragma once

#include <QFont>

// The font itself where its family is installed under that name; else the same font in the
// first installed of a few common sans-serif faces (Wine without its own fonts turns
// "MS Shell Dlg", its dialog face, into a serif one), or as it was where none is.
QFont withInstalledFace(QFont font);

// The windows were laid out for a small 8.25-point face. The platform's own family at that
// size keeps the look of the platform while the texts still fit their places.
QFont designFont(QFont platformFont, bool bold);
