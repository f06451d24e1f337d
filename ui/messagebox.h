// Modal message boxes, behind an adapter so that tests can see what a box
// would have said without anyone closing it.
#pragma once

#include <QString>

class QWidget;

namespace morvane::ui {

enum class MessageIcon { None, Information, Critical };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows text under title with a single OK button; returns when it was closed.
    virtual void show(QWidget *parent, const QString &text, const QString &title, MessageIcon icon) = 0;
};

// Real modal boxes.
class QtMessageBoxes final : public MessageBoxes {
public:
    void show(QWidget *parent, const QString &text, const QString &title, MessageIcon icon) override;
};

} // namespace morvane::ui
