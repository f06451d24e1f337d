#include "app/conversionchoices.h"

#include <QDir>

namespace morvane::app {

using namespace Qt::StringLiterals;
using DdsKind = formats::WriteOptions::DdsKind;

QStringList describeChoices(const ConversionChoices &choices)
{
    const ConversionChoices defaults;
    QStringList said;
    if (choices.existing == convert::Existing::Skip)
        said.append(u"keep existing copies"_s);
    else if (choices.existing == convert::Existing::Newer)
        said.append(u"replace copies older than their source"_s);
    switch (choices.resize.kind) {
    case convert::ResizeRule::None:
        break;
    case convert::ResizeRule::PowerOfTwo:
        said.append(u"resize to the nearest power of two"_s);
        break;
    case convert::ResizeRule::PowerOfTwoUp:
        said.append(u"resize up to a power of two"_s);
        break;
    case convert::ResizeRule::PowerOfTwoDown:
        said.append(u"resize down to a power of two"_s);
        break;
    case convert::ResizeRule::MaxSide:
        said.append(u"resize to at most %1 pixels"_s.arg(choices.resize.maxSide));
        break;
    case convert::ResizeRule::Half:
        said.append(u"resize to half"_s);
        break;
    }
    const formats::WriteOptions &write = choices.write;
    if (write.quality != defaults.write.quality)
        said.append(u"JPEG and WebP quality %1"_s.arg(write.quality));
    static const QHash<DdsKind, QString> KindNames{{DdsKind::Bc1, u"BC1"_s},   {DdsKind::Bc1a, u"BC1 with alpha"_s},
                                                  {DdsKind::Bc2, u"BC2"_s},   {DdsKind::Bc3, u"BC3"_s},
                                                  {DdsKind::Bc4, u"BC4"_s},   {DdsKind::Bc5, u"BC5"_s},
                                                  {DdsKind::Bgra, u"BGRA"_s}, {DdsKind::Bgr, u"BGR"_s}};
    if (write.ddsKind != defaults.write.ddsKind)
        said.append(u"DDS as "_s + KindNames.value(write.ddsKind));
    if (!write.mipmaps)
        said.append(u"no mipmaps"_s);
    if (write.normalMap)
        said.append(u"normal maps"_s);
    if (write.alphaTest)
        said.append(u"alpha test at %1"_s.arg(*write.alphaTest));
    if (!choices.outputFolder.isEmpty())
        said.append(u"copies into "_s + QDir::toNativeSeparators(choices.outputFolder));
    return said;
}

void applyChoices(const ConversionChoices &choices, convert::ConversionOptions *options)
{
    options->existing = choices.existing;
    options->resize = choices.resize.kind == convert::ResizeRule::None ? std::nullopt
                                                                       : std::optional(choices.resize);
    options->write = choices.write;
}

} // namespace morvane::app
