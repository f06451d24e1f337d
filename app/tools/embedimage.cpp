// embedimage IN OUT NAME: writes the picture IN as a C++ header OUT holding
// NameWidth, NameHeight and NamePixels, its premultiplied ARGB32 pixels, so
// that the program can show it without reading a picture file at start-up.
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: embedimage IN OUT NAME\n");
        return 2;
    }
    const QImage image = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        std::fprintf(stderr, "embedimage: cannot read %s\n", argv[1]);
        return 1;
    }
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "embedimage: cannot write %s\n", argv[2]);
        return 1;
    }
    const QString name = QString::fromLocal8Bit(argv[3]);
    QTextStream text(&out);
    text << "// Made by embedimage from " << QFileInfo(QString::fromLocal8Bit(argv[1])).fileName() << ".\n#pragma once\n\n";
    text << "inline constexpr int " << name << "Width = " << image.width() << ";\n";
    text << "inline constexpr int " << name << "Height = " << image.height() << ";\n";
    text << "alignas(4) inline constexpr unsigned int " << name << "Pixels[] = {";
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
        text << "\n   ";
        for (int x = 0; x < image.width(); ++x)
            text << " 0x" << QString::number(line[x], 16).rightJustified(8, u'0') << ',';
    }
    text << "\n};\n";
    text.flush();
    return out.error() == QFile::NoError ? 0 : 1;
}
