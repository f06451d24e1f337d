#include "convert/atomicwrite.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace morvane::convert {

namespace {

QString openFailure(const QString &path, const QSaveFile &file)
{
    const QFileInfo info(path);
    if (info.isDir())
        return u"cannot write the file: a folder has that name"_s;
    if (!info.absoluteDir().exists())
        return u"cannot write the file: its folder does not exist"_s;
    return u"cannot write the file (%1)"_s.arg(file.errorString());
}

} // namespace

bool writeFileAtomically(const QString &path, QByteArrayView bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = openFailure(path, file);
        return false;
    }
    if (file.write(bytes.data(), bytes.size()) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        if (error)
            *error = u"cannot write the file (%1)"_s.arg(reason);
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = u"cannot write the file (%1)"_s.arg(file.errorString());
        return false;
    }
    return true;
}

} // namespace morvane::convert
