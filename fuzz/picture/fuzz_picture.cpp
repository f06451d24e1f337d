// Feeds arbitrary bytes to the header checks and the picture reader (what loadPicture does with a
// file's content), then writes what it read with the BMP, JPEG, TGA, GIF
// and DDS encoders. A crash, a sanitizer report or a broken promise of the
// reader fails the run.
#include "convert/formats/formats.h"
#include "convert/picture.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

QGuiApplication *startApplication()
{
    static int argc = 1;
    static char name[] = "fuzz_picture";
    static char *argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    return new QGuiApplication(argc, argv);
}

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QGuiApplication *application = startApplication();
    Q_UNUSED(application);

    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // Every header check reads within the bytes it is given (the sanitizers watch).
    for (const morvane::formats::Format *format : morvane::convert::pictureFormats()) {
        if (format->declaredSize && format->matches(bytes))
            static_cast<void>(format->declaredSize(bytes));
    }
    QString error;
    const QImage picture = morvane::convert::decodePicture(bytes, &error);
    // Either a picture within the limits and no message, or a message.
    require(picture.isNull() != error.isEmpty());
    if (picture.isNull())
        return 0;
    require(picture.width() <= 16384 && picture.height() <= 16384);
    require(qint64(picture.bytesPerLine()) * picture.height() <= (qint64(1) << 30));

    // The writers take whatever format a reader produced.
    if (qint64(picture.width()) * picture.height() <= 256 * 256) {
        using namespace morvane::formats;
        require(!bmp().encode(picture, {}).bytes.isEmpty());
        require(!jpeg().encode(picture, {}).bytes.isEmpty());
        require(!tga().encode(picture, {}).bytes.isEmpty());
        if (qint64(picture.width()) * picture.height() <= 64 * 64) {
            require(!gif().encode(picture, {}).bytes.isEmpty());
            require(!dds().encode(picture, {}).bytes.isEmpty());
        }
    }
    return 0;
}
