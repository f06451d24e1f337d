#include "texcfg/mask.h"

namespace morvane::texcfg {

QString CleanMask(const QString &text)
{
    QString cleaned = text;
    cleaned.removeIf([](QChar c) { return c == u'\\' || c == u'/' || c == u';' || c == u':'; });
    return cleaned;
}

std::optional<MaskRange> MaskSelection(const QString &text)
{
    const int length = int(text.size());
    for (int k = 1; k <= length; ++k) {
        if (k == length)
            return MaskRange{0, length};
        if (text[length - k] == u'.')
            return MaskRange{length - k + 1, k - 1};
    }
    return std::nullopt;
}

} // namespace morvane::texcfg
