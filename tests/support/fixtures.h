// Pictures and files the tests build for themselves.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace fixtures {

// A smooth, photograph-like RGB32 picture: gradients, soft waves and grain.
QImage photoLike(int width, int height, quint32 seed);

// An RGB32 picture of independent random pixels.
QImage randomPixels(int width, int height, quint32 seed);

// Peak signal-to-noise ratio in dB over the R, G and B channels of two
// pictures of the same size (as composited by Qt into RGB32); 99 when equal.
double psnr(const QImage &a, const QImage &b);

// True when both pictures have the same size and the same RGBA pixels.
bool samePixels(const QImage &a, const QImage &b);

// jpeg with an EXIF segment holding orientation inserted after its start marker.
QByteArray withExifOrientation(const QByteArray &jpeg, int orientation, bool bigEndian);

// A TGA (version 2, with footer) of picture, 24-bit, top-left origin.
QByteArray tgaFile(const QImage &picture);

// Writes bytes to path; false on failure.
bool writeFile(const QString &path, const QByteArray &bytes);
// The bytes of the file at path; empty when it cannot be read.
QByteArray readFile(const QString &path);
// The names in folder, hidden ones and sub-folders included, sorted by name.
QStringList fileNames(const QString &folder);

// The bytes that text spells, each \xHH in it standing for one byte, so that
// names that are not valid UTF-8 can be written as "caf\\xe9.jpg".
QByteArray rawBytes(const QString &text);
// Makes the file (with bytes in it) or folder folder/<rawBytes(name)>, through
// the system rather than Qt, which cannot name it; false on failure.
bool makeRaw(const QString &folder, const QString &name, bool asFolder, const QByteArray &bytes = {});

// A temporary folder removed whole at the end, names that are not valid
// UTF-8 included (QTemporaryDir cannot remove those).
class RawTemporaryDir {
public:
    RawTemporaryDir() { m_dir.setAutoRemove(false); }
    ~RawTemporaryDir();
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

} // namespace fixtures
