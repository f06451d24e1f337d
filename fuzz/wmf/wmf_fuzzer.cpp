// Feeds any bytes to the metafile player: it must return a picture or an
// error, never both or neither, and never crash.
#include "convert/wmf/wmf.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Text needs a GUI application; one is made once and kept.
void ensureApplication()
{
    static QGuiApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_wmf";
        static char *argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    Q_UNUSED(app);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureApplication();
    // Smaller than the program's limits, so that each input runs quickly.
    morvane::wmf::RenderLimits limits;
    limits.maxSide = 1024;
    limits.maxBytes = qint64(4) << 20;
    const auto result = morvane::wmf::renderWmf(
        QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), limits);
    if (result.image.isNull() == result.error.isEmpty())
        std::abort();
    return 0;
}
