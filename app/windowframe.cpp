#include "app/windowframe.h"

#include "ui/dirlist.h"
#include "ui/drivelist.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QScreen>
#include <QWidget>

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
    // Set in Qt rather than left to fontconfig, whose stand-in for a missing
    // family is its default sans whatever the family's widths.
    static const bool substituted = [] {
        // Helvetica Narrow's advances at 8.25 points are within a pixel of
        // MS Sans Serif 8's, glyph by glyph, and its capitals as tall (8 pixels).
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("Liberation Sans Narrow")});
        // DejaVu Sans keeps to Verdana's advances within a few hundredths of an em.
        QFont::insertSubstitution(QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"));
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(family);
    font.setPointSizeF(points);
    return font;
}

QIcon programIcon()
{
    // Read with Qt's own PNG reader: letting it guess would load and ask every
    // image plugin first, which costs the start-up several milliseconds.
    QImageReader reader(QStringLiteral(":/icons/morvane-16.png"), "png");
    reader.setAutoDetectImageFormat(false);
    return QIcon(QPixmap::fromImage(reader.read()));
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
