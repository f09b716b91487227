#pragma once

#include <QStringView>

struct Reading;

// Takes reading.buffer apart into date, time, host, name and value.
// Returns false, leaving every field of the reading as it was, for a datagram that has no
// defined reading: no bracketed name, "]" before "[", or a value with no space after it.
bool parseudp(Reading &reading);

// Fills reading.buffer with text decoded from a datagram's bytes, reusing its storage.
void decodeDatagram(QByteArrayView bytes, Reading &reading);
