// The converter's choices beyond its window's controls: what becomes of
// existing copies, resizing, quality, the DDS kind and where copies go. Set
// in the Conversion Options dialog, kept while the program runs.
#pragma once

#include "convert/conversion.h"

#include <QString>
#include <QStringList>

namespace morvane::app {

struct ConversionChoices {
    convert::Existing existing = convert::Existing::Replace;
    convert::ResizeRule resize; // None keeps each picture's size
    formats::WriteOptions write;
    QString outputFolder; // absolute; empty puts each copy beside its source

    bool operator==(const ConversionChoices &) const = default;
};

// The choices that differ from the defaults, a few words each ("keep
// existing copies", "JPEG and WebP quality 80"), in the dialog's order;
// empty for the defaults.
QStringList describeChoices(const ConversionChoices &choices);

// options with choices applied: existing copies, resizing and the writers' options.
void applyChoices(const ConversionChoices &choices, convert::ConversionOptions *options);

} // namespace morvane::app
