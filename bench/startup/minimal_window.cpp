// The yardstick for Morvane's start-up: a Qt Widgets program that opens one
// window of the main window's size, centred, holding a label, a line edit and
// a button, as any real program lays out some text.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Folder :")));
    layout->addWidget(new QLineEdit(QStringLiteral("default")));
    layout->addWidget(new QPushButton(QStringLiteral("Apply")));
    window.setFixedSize(537, 420);
    QRect frame = window.frameGeometry();
    frame.moveCenter(window.screen()->availableGeometry().center());
    window.move(frame.topLeft());
    window.show();
    return QApplication::exec();
}
