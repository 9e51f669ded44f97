#include "runtimefolder.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace {

// What is wrong with `folder` as a place for a secret; empty when nothing. lstat: a link planted
// at that name is refused, not followed.
QString unfit(const QString& folder) {
    struct stat st = {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return QStringLiteral("%1 is not a folder").arg(folder);
    }
    if (st.st_uid != ::geteuid()) {
        return QStringLiteral("the folder %1 belongs to another user").arg(folder);
    }
    if ((st.st_mode & 0777) != 0700) {
        return QStringLiteral("the folder %1 has mode %2, not 700")
            .arg(folder)
            .arg(st.st_mode & 0777, 3, 8, QLatin1Char('0'));
    }
    return {};
}

}  // namespace

QString runtimeFolder(QString* error) {
    const QString given = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (given.startsWith(u'/') && unfit(given).isEmpty()) {
        return given;
    }
    const QString folder = QDir::tempPath() + QStringLiteral("/motor-panel-") + QString::number(::geteuid());
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
        *error = QStringLiteral("cannot make the folder %1: %2")
                     .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    if (const QString why = unfit(folder); !why.isEmpty()) {
        *error = why + QStringLiteral("; remove it or give --automation-token-file PATH");
        return {};
    }
    return folder;
}
