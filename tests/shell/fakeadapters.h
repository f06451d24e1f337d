// Message boxes and clipboard for windows under test: they keep what they were given.
#pragma once

#include "ui/clipboard.h"
#include "ui/messagebox.h"

#include <QStringList>

namespace morvane::shelltest {

class KeptMessages final : public ui::MessageBoxes {
public:
    void show(QWidget *, const QString &text, const QString &, ui::MessageIcon) override { texts.append(text); }
    QStringList texts;
};

class KeptClipboard final : public ui::Clipboard {
public:
    void clear() override { text.clear(); }
    void setText(const QString &newText) override { text = newText; }
    QString text;
};

} // namespace morvane::shelltest
