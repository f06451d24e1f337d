#include "app/windowframe.h"

#include "ui/dirlist.h"
#include "ui/drivelist.h"
#include "ui/messagebox.h"
#include "programicon.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace morvane::app {

namespace {

// The platform's style, but for the chevron of a menu bar too narrow for its
// menus. Every menu bar asks for it when made, and the style would read it
// from a picture file whose format Qt finds by asking every image plugin,
// loading them all: a tenth of the program's start. It is drawn instead.
class ProgramStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option, const QWidget *widget) const override
    {
        if (icon != SP_ToolBarHorizontalExtensionButton && icon != SP_ToolBarVerticalExtensionButton)
            return QProxyStyle::standardIcon(icon, option, widget);
        QPixmap pixmap(8, 8);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setPen(QPen(widget ? widget->palette().color(QPalette::ButtonText) : QColor(Qt::black), 1.2));
        for (const int x : {1, 4}) { // two right-pointing chevrons
            const QPointF points[] = {{x + 0.5, 1.5}, {x + 3.0, 4.0}, {x + 0.5, 6.5}};
            painter.drawPolyline(points, 3);
        }
        painter.end();
        if (icon == SP_ToolBarVerticalExtensionButton)
            pixmap = pixmap.transformed(QTransform().rotate(90));
        return QIcon(pixmap);
    }
};

} // namespace

QFont formFont(const QString &family, qreal points)
{
    // Families of like widths for the forms' fonts where those are missing.
    // Helvetica Narrow's advances at 8.25 points are within a pixel of MS Sans
    // Serif 8's, glyph by glyph, and its capitals as tall (8 pixels); DejaVu
    // Sans keeps to Verdana's advances within a few hundredths of an em.
    static const QHash<QString, QStringList> standIns = [] {
        QHash<QString, QStringList> table{
            {QStringLiteral("MS Sans Serif"), {QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("Liberation Sans Narrow")}},
            {QStringLiteral("Verdana"), {QStringLiteral("DejaVu Sans")}},
        };
        // Set in Qt rather than left to fontconfig, whose stand-in for a
        // missing family is its default sans whatever the family's widths.
        for (auto it = table.cbegin(); it != table.cend(); ++it)
            QFont::insertSubstitutions(it.key(), it.value());
        return table;
    }();
    // The stand-in is named outright where the family is missing: a font
    // asked for by a missing name costs Qt a second search of fontconfig, for
    // the fallbacks of that name, at every start.
    QString name = family;
    if (!QFontDatabase::hasFamily(family)) {
        const QStringList candidates = standIns.value(family);
        const auto found = std::find_if(candidates.begin(), candidates.end(), &QFontDatabase::hasFamily);
        if (found != candidates.end())
            name = *found;
    }
    QFont font(name);
    font.setPointSizeF(points);
    return font;
}

QIcon programIcon()
{
    // Pixels made at build time: reading a picture, even one named as PNG,
    // would first have Qt look through every image plugin installed.
    const QImage image(reinterpret_cast<const uchar *>(ProgramIconPixels), ProgramIconWidth, ProgramIconHeight,
                       QImage::Format_ARGB32_Premultiplied);
    return QIcon(QPixmap::fromImage(image));
}

void useProgramStyle()
{
    QApplication::setStyle(new ProgramStyle);
}

void centreOnScreen(QWidget &window, const QScreen &screen)
{
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen.availableGeometry().center());
    window.move(frame.topLeft());
}

void followDrive(const ui::DriveList &drives, ui::DirList &folders, ui::MessageBoxes &messageBoxes, QWidget *window)
{
    if (!folders.setPath(drives.drive())) {
        messageBoxes.show(window, QStringLiteral("This Drive seems to be un-available!"), QStringLiteral("Drive Not Ready"),
                          ui::MessageIcon::None);
    }
}

} // namespace morvane::app
