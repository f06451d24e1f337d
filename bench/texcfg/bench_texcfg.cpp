// Building the texture list and the cfg content for large folders.
#include "texcfg/cfgcontent.h"
#include "texcfg/texturelist.h"

#include <benchmark/benchmark.h>

using namespace morvane::texcfg;
using namespace Qt::StringLiterals;

namespace {

QStringList fileNames(int count)
{
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names.append(u"texture_"_s + QString::number(i) + u".jpg"_s);
    return names;
}

void buildTextureList(benchmark::State &state)
{
    const QStringList names = fileNames(int(state.range(0)));
    for (auto _ : state) {
        QString list = BuildTextureList({}, u"/home/user/textures"_s, names, {false, true, false});
        benchmark::DoNotOptimize(list);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void buildTextureListNoExtensions(benchmark::State &state)
{
    const QStringList names = fileNames(int(state.range(0)));
    for (auto _ : state) {
        QString list = BuildTextureList({}, u"/home/user/textures"_s, names, {false, true, true});
        benchmark::DoNotOptimize(list);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void buildCfgContent(benchmark::State &state)
{
    const QString list = fileNames(int(state.range(0))).join("\r\n"_L1);
    for (auto _ : state) {
        QString cfg = BuildCfgContent(list, u"0"_s, u"default"_s, u"My Quillo Textures"_s);
        benchmark::DoNotOptimize(cfg);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(buildTextureList)->Arg(32767)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(buildTextureListNoExtensions)->Arg(32767)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(buildCfgContent)->Arg(32767)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
