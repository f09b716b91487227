#pragma once

#include <QString>

// The fields taken from one datagram. They outlive each datagram, so that their storage is
// reused; a datagram that is parsed sets all of them, and one that is not leaves them alone.
struct Reading
{
    QString buffer; // the datagram's text, cut down to its message part by parseudp
    QString date;
    QString time;
    QString host;
    QString name;  // " " + the bracketed name
    QString value; // " " + the value + " "
};
