#include "wholefile.h"

#include <QSaveFile>

namespace WholeFile {

bool write(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    const auto fail = [&](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(file.errorString());
    }
    // commit() alone would let a short write or a failed final flush put a cut-off file in the
    // old one's place, so both are checked first and cancel the write.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    return file.commit() || fail(file.errorString());
}

}  // namespace WholeFile
