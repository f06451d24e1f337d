// Message box and clipboard adapters that record what a window asked of them.
#pragma once

#include "ui/clipboard.h"
#include "ui/messagebox.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace morvane::test {

struct ShownMessage {
    QString text;
    QString title;
    ui::MessageIcon icon = ui::MessageIcon::None;
    friend bool operator==(const ShownMessage &, const ShownMessage &) = default;
};

// For QCOMPARE's report of a difference.
inline char *toString(const ShownMessage &m)
{
    const QString icon = m.icon == ui::MessageIcon::Critical      ? QStringLiteral(", critical")
                         : m.icon == ui::MessageIcon::Information ? QStringLiteral(", information")
                                                                  : QString();
    return qstrdup(qPrintable(QStringLiteral("\"%1\" under \"%2\"%3").arg(m.text, m.title, icon)));
}

class RecordingMessageBoxes final : public ui::MessageBoxes {
public:
    void show(QWidget *, const QString &text, const QString &title, ui::MessageIcon icon) override
    {
        shown.append({text, title, icon});
        if (whileShown)
            whileShown();
    }
    QList<ShownMessage> shown;
    // Runs while each box would be on show, before the window goes on.
    std::function<void()> whileShown;
};

class RecordingClipboard final : public ui::Clipboard {
public:
    void clear() override
    {
        text.reset();
        ++clears;
    }
    void setText(const QString &newText) override { text = newText; }

    std::optional<QString> text = QStringLiteral("earlier contents");
    int clears = 0;
};

} // namespace morvane::test
