#pragma once

#include <QByteArray>
#include <QString>

namespace WholeFile {

// Writes `bytes` as the whole new content of `path`, all or nothing: the file is written beside the
// old one and put in its place only once every byte has been written and flushed, so a full disk
// or a vanished folder leaves the old file as it was. On failure `*error` (when given) says why.
bool write(const QString& path, const QByteArray& bytes, QString* error = nullptr);

}  // namespace WholeFile
