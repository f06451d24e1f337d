// The multi-line text box with long texts: setting, reading, one keystroke and
// one repaint, at the sizes "Apply" and "Go!" write. Run with QT_QPA_PLATFORM=offscreen.
#include "ui/multilineedit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>

#include <benchmark/benchmark.h>

using namespace morvane::ui;
using namespace Qt::StringLiterals;

namespace {

QString cfgLines(int count)
{
    QString text = u"// My Quillo Textures\r\n"_s;
    for (int i = 0; i < count; ++i)
        text += u"texture 0 \"default/texture_"_s + QString::number(i) + u".jpg\"\r\n"_s;
    return text;
}

// A shown box of the main window's size for the cfg content.
struct ShownBox {
    explicit ShownBox(MultiLineEdit::LineWrapMode mode)
    {
        box.setLineWrapMode(mode);
        box.resize(521, 121);
        box.show();
        QApplication::processEvents();
    }
    MultiLineEdit box;
};

void setText(benchmark::State &state)
{
    ShownBox shown(MultiLineEdit::LineWrapMode(state.range(1)));
    const QString text = cfgLines(int(state.range(0)));
    for (auto _ : state)
        shown.box.setText(text);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Qt's own plain-text box filled with the same lines, for comparison.
void plainTextEditSetText(benchmark::State &state)
{
    QPlainTextEdit edit;
    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    edit.resize(521, 121);
    edit.show();
    QString text = cfgLines(int(state.range(0)));
    text.replace(u"\r\n"_s, u"\n"_s);
    for (auto _ : state)
        edit.setPlainText(text);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void text(benchmark::State &state)
{
    ShownBox shown(MultiLineEdit::NoWrap);
    shown.box.setText(cfgLines(int(state.range(0))));
    for (auto _ : state) {
        QString read = shown.box.text();
        benchmark::DoNotOptimize(read);
    }
}

// Typing one character at the end of a long text and reading the text back.
void typeAndRead(benchmark::State &state)
{
    ShownBox shown(MultiLineEdit::NoWrap);
    shown.box.setText(cfgLines(int(state.range(0))));
    shown.box.setCursorPosition(shown.box.text().size());
    for (auto _ : state) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, u"x"_s);
        QApplication::sendEvent(&shown.box, &key);
        QString read = shown.box.text();
        benchmark::DoNotOptimize(read);
    }
}

void repaint(benchmark::State &state)
{
    ShownBox shown(MultiLineEdit::LineWrapMode(state.range(1)));
    shown.box.setText(cfgLines(int(state.range(0))));
    for (auto _ : state)
        shown.box.viewport()->repaint();
}

} // namespace

BENCHMARK(setText)->ArgsProduct({{32767, 100000}, {MultiLineEdit::NoWrap, MultiLineEdit::WidgetWidth}})->Unit(benchmark::kMillisecond);
BENCHMARK(plainTextEditSetText)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(text)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(typeAndRead)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(repaint)->ArgsProduct({{100000}, {MultiLineEdit::NoWrap, MultiLineEdit::WidgetWidth}})->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
