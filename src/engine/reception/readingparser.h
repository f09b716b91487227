#pragma once

#include <QByteArrayView>

class Arrival;
struct Reading;

// Takes reading.buffer apart into date, time, host, name and value. Besides the classic
// header ("<13>Jun 10 19:35:00 host tag[CPU]: t=45 C") it knows the shapes that begin with a
// priority and then something that header cannot hold: an RFC 5424 header, an RFC 3339
// timestamp, or a tag where the timestamp or the host would be; and a tag after the host
// whose colon a relay left out ("host senvo[CPU] t=45 C"). A datagram that names no host
// is shown under its sender's address, one without a timestamp at its receive time; both come
// from arrival.
// Returns false, leaving every field of the reading as it was, for a datagram that has no
// defined reading: no bracketed name, "]" before "[", no host, or no value.
bool parseudp(Reading &reading, Arrival &arrival);

// Fills reading.buffer with text decoded from a datagram's bytes, reusing its storage.
void decodeDatagram(QByteArrayView bytes, Reading &reading);
