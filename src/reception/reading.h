#pragma once

#include <QString>

// The fields taken from one datagram. They outlive each datagram: a field that a
// datagram does not carry keeps the value an earlier datagram left in it.
struct Reading
{
    QString buffer; // the datagram's text, cut down to its message part by parseudp
    QString date;
    QString time;
    QString host;
    QString name;  // " " + the bracketed name
    QString value; // " " + the value + " "
};
