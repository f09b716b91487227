#pragma once

// Plain, literal models of what the receiving path is meant to do, shared by the unit
// tests, the corpus replay and the fuzz target.

#include "datagramcheck.h"
#include "literalgrid.h"

#include <QDateTime>
#include <QString>
#include <QStringView>

class QHostAddress;
struct Reading;

// Leading and trailing spaces removed, one at a time; tabs and other white space stay.
QStringView literalTrim(QStringView text);

// The parsing steps written out one by one with 1-based positions, on copies, after the
// other shapes are told by regular expressions. sender stands for a host the datagram does
// not name, received for a timestamp it does not carry. Returns false, leaving r as it was,
// for a datagram that has no reading (none without a name).
bool literalParse(Reading &r, const QString &sender, const QDateTime &received);

// An address as text, an IPv4-mapped one as IPv4.
QString senderText(const QHostAddress &address);

// Characters that would garble or reorder the screen if a view showed them as they are.
bool isUnsafeForDisplay(QChar c);

// A copy that shares no storage with text.
QString deepCopy(const QString &text);
