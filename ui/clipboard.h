// The system clipboard, behind an adapter so that tests can read what was put there.
#pragma once

#include <QString>

namespace morvane::ui {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual void clear() = 0;
    virtual void setText(const QString &text) = 0;
};

class QtClipboard final : public Clipboard {
public:
    void clear() override;
    void setText(const QString &text) override;
};

} // namespace morvane::ui
