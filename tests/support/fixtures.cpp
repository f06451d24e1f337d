#include "fixtures.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cmath>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fixtures {

QImage photoLike(int width, int height, quint32 seed)
{
    QRandomGenerator rng(seed);
    QImage picture(width, height, QImage::Format_RGB32);
    const double fx = 3.0 + rng.bounded(4.0);
    const double fy = 2.0 + rng.bounded(4.0);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width;
            const double v = double(y) / height;
            const double wave = std::sin(u * fx * 6.2832 + std::cos(v * fy * 3.1416) * 2.0);
            const int grain = int(rng.bounded(5)) - 2; // film grain: brightness only
            const int r = int(90 + 100 * u + 30 * wave) + grain;
            const int g = int(70 + 80 * v + 40 * std::sin(v * fy * 6.2832)) + grain;
            const int b = int(110 + 60 * (1 - u) * v + 35 * wave * v) + grain;
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    return picture;
}

QImage randomPixels(int width, int height, quint32 seed)
{
    QRandomGenerator rng(seed);
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = 0xff000000u | (rng.generate() & 0xffffffu);
    }
    return picture;
}

double psnr(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 0;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double squares = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int dr = qRed(p[col]) - qRed(q[col]);
            const int dg = qGreen(p[col]) - qGreen(q[col]);
            const int db = qBlue(p[col]) - qBlue(q[col]);
            squares += dr * dr + dg * dg + db * db;
        }
    }
    if (squares == 0)
        return 99;
    const double mean = squares / (3.0 * x.width() * x.height());
    return 10 * std::log10(255.0 * 255.0 / mean);
}

bool samePixels(const QImage &a, const QImage &b)
{
    return a.size() == b.size()
        && a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

QByteArray withExifOrientation(const QByteArray &jpeg, int orientation, bool bigEndian)
{
    // A TIFF header and one directory of two entries: a resolution unit
    // first, then the orientation; each value a size in bytes and the value.
    QByteArray tiff(bigEndian ? "MM" : "II");
    const std::pair<int, quint32> fields[] = {{2, 42}, {4, 8}, {2, 2}, {2, 0x0128}, {2, 3}, {4, 1}, {2, 2}, {2, 0},
                                              {2, 0x0112}, {2, 3}, {4, 1}, {2, quint32(orientation)}, {2, 0}, {4, 0}};
    for (const auto &[size, value] : fields) {
        for (int i = 0; i < size; ++i)
            tiff.append(char(value >> 8 * (bigEndian ? size - 1 - i : i)));
    }
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xff\xe1");
    segment.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xff)).append(payload);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

QByteArray tgaFile(const QImage &source)
{
    const QImage picture = source.convertToFormat(QImage::Format_RGB32);
    QByteArray out(18, '\0');
    out[2] = 2; // uncompressed true colour
    out[12] = char(picture.width() & 0xff);
    out[13] = char(picture.width() >> 8);
    out[14] = char(picture.height() & 0xff);
    out[15] = char(picture.height() >> 8);
    out[16] = 24;
    out[17] = 0x20; // top-left origin
    for (int y = 0; y < picture.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            out.append(char(qBlue(line[x]))).append(char(qGreen(line[x]))).append(char(qRed(line[x])));
    }
    out.append(QByteArray(8, '\0'));
    out.append("TRUEVISION-XFILE.", 17).append('\0');
    return out;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList fileNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QByteArray rawBytes(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    for (qsizetype at = bytes.indexOf("\\x"); at >= 0 && at + 4 <= bytes.size(); at = bytes.indexOf("\\x", at + 1))
        bytes.replace(at, 4, QByteArray(1, char(bytes.mid(at + 2, 2).toInt(nullptr, 16))));
    return bytes;
}

bool makeRaw(const QString &folder, const QString &name, bool asFolder, const QByteArray &bytes)
{
    const QByteArray path = QFile::encodeName(folder) + '/' + rawBytes(name);
    if (asFolder)
        return ::mkdir(path.constData(), 0755) == 0;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

RawTemporaryDir::~RawTemporaryDir()
{
    std::error_code error;
    std::filesystem::remove_all(QFile::encodeName(m_dir.path()).toStdString(), error);
}

} // namespace fixtures
