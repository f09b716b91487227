#pragma once

#include <QHostAddress>
#include <QStringView>

#include <optional>

// An IPv4 address in plain dotted decimal ("192.168.1.20") or an IPv6 address in any of its
// written forms, with an interface after "%" where one is needed ("fe80::1%eth0"). Nothing for
// any other text. The shorthands the C library also takes ("10.1", "010.0.0.5" read as octal)
// are refused: they would quietly name another address than the one meant.
std::optional<QHostAddress> addressFromText(QStringView text);
