#include "convert/wmf/wmf.h"

// Placeholder until the metafile player and writer land.
namespace morvane::wmf {

bool isWmf(QByteArrayView)
{
    return false;
}

RenderResult renderWmf(QByteArrayView, const RenderLimits &)
{
    return {QImage(), QStringLiteral("metafiles are not supported yet")};
}

EncodeResult encodeWmf(const QImage &)
{
    return {QByteArray(), QStringLiteral("metafiles are not supported yet")};
}

} // namespace morvane::wmf
