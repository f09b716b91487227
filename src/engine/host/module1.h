#pragma once

#include <QByteArrayView>
#include <QString>

// Questions asked of the host system.
namespace Module1 {

// The machine's network name, or "(Not Known)" when it cannot be read.
QString ComputerNameText();

// The name held in a buffer filled by the system: up to its first NUL, without
// trailing spaces; "(Not Known)" when nothing is left.
QString computerNameFromBuffer(QByteArrayView buffer);

// True when path names a normal file: not a directory, not hidden (a dot-file on Unix,
// the hidden attribute on Windows), not a device, socket or pipe. Wildcards (* and ?, and [ on
// Unix) in the file name match as a directory listing would.
bool FileExists(const QString &path);

} // namespace Module1
