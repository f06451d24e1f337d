// Windows Metafiles among the picture formats: the player reads them, the
// writer makes one of a single bitmap.
#include "convert/wmf/wmf.h"

using namespace Qt::StringLiterals;

namespace morvane::wmf {

namespace {

formats::Decoded decode(QByteArrayView data, const formats::Limits &limits)
{
    RenderResult rendered = renderWmf(data, {limits.maxSide, limits.maxBytes});
    if (rendered.image.isNull())
        return {QImage(), rendered.error.isEmpty() ? formats::damagedError(format().name) : rendered.error};
    return {std::move(rendered.image), QString()};
}

formats::Encoded encode(const QImage &picture, const formats::WriteOptions &)
{
    EncodeResult encoded = encodeWmf(picture);
    if (!encoded.error.isEmpty() || encoded.bytes.isEmpty())
        return {QByteArray(), encoded.error.isEmpty() ? formats::cannotEncodeError(format().name) : encoded.error};
    return {std::move(encoded.bytes), QString()};
}

} // namespace

const formats::Format &format()
{
    static const formats::Format metafile{u"WMF"_s, {u"wmf"_s}, isWmf, declaredWmfSize, decode, encode, false};
    return metafile;
}

} // namespace morvane::wmf
