// Every caption of the three windows shows whole in its control's fixed
// size, in the fonts the windows ask for. ctest runs it at scale 1 and 2.
#include "app/convertwindow.h"
#include "app/frmabout.h"
#include "app/frmmain.h"
#include "support/recordingadapters.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTest>

#include <optional>

using namespace morvane;

namespace {

// How many pixels the caption of control needs beyond its room, across or
// down: at most 0 when it shows whole; none for a control without a caption.
std::optional<int> overflow(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control); label && !label->text().isEmpty()) {
        if (label->wordWrap())
            return label->heightForWidth(label->width()) - label->height();
        const QSize need = label->sizeHint();
        return std::max(need.width() - label->width(), need.height() - label->height());
    }
    // Buttons draw their caption, uncut and unwrapped, in the style's contents rectangle.
    const auto *button = qobject_cast<const QAbstractButton *>(control);
    if (!button || button->text().isEmpty())
        return std::nullopt;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    auto contents = QStyle::SE_CheckBoxContents;
    if (const auto *push = qobject_cast<const QPushButton *>(button)) {
        contents = QStyle::SE_PushButtonContents;
        if (push->autoDefault() || push->isDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
    } else if (qobject_cast<const QRadioButton *>(button)) {
        contents = QStyle::SE_RadioButtonContents;
    }
    const QRect room = button->style()->subElementRect(contents, &option, button);
    const QSize need = button->fontMetrics().size(Qt::TextShowMnemonic, option.text);
    return std::max(need.width() - room.width(), need.height() - room.height());
}

} // namespace

class TestCaptions : public QObject {
    Q_OBJECT

private slots:
    void wholeCaptions();
};

// Controls hidden in the form show no caption and are left out.
void TestCaptions::wholeCaptions()
{
    test::RecordingMessageBoxes boxes;
    test::RecordingClipboard clipboard;
    app::FrmMain main(boxes, clipboard);
    app::Convert converter(boxes, QDir::currentPath());
    app::FrmAbout about;
    const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
    QStringList cut;
    int measured = 0;
    for (QWidget *window : std::initializer_list<QWidget *>{&main, &converter, &about}) {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->devicePixelRatio(), scale);
        for (const QWidget *control : window->findChildren<QWidget *>()) {
            const std::optional<int> over = overflow(control);
            if (!over || !control->isVisibleTo(window))
                continue;
            ++measured;
            if (*over > 0)
                cut.append(QStringLiteral("%1.%2 by %3 px").arg(window->objectName(), control->objectName()).arg(*over));
        }
    }
    QCOMPARE(measured, 20);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u", ")));
}

QTEST_MAIN(TestCaptions)
#include "tst_captions.moc"
