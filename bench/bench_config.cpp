// application.ini reading against its size: N sections of one key each, and one section of N
// keys. Reading is linear in the file's size, so time per section stays flat as N grows
// (compare the per-item rates across N).
#include "qor_cConfigFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace
{
std::string writeIni(const std::string & text)
{
    const std::string path = "/tmp/qor_bench_config_" + std::to_string(getpid()) + ".ini";
    FILE * pFile = std::fopen(path.c_str(), "wb");
    if (pFile)
    {
        std::fwrite(text.data(), 1, text.size(), pFile);
        std::fclose(pFile);
    }
    return path;
}

void load(benchmark::State & state, const std::string & text)
{
    const std::string path = writeIni(text);
    for (auto _ : state)
    {
        qor_cConfigFile ini;
        benchmark::DoNotOptimize(ini.load(path.c_str()));
        benchmark::DoNotOptimize(ini.getNbSection());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
    std::remove(path.c_str());
}

void BM_IniSections(benchmark::State & state)
{
    std::string text;
    for (int64_t i = 0; i < state.range(0); ++i)
        text += "[S" + std::to_string(i) + "]\nK=" + std::to_string(i) + "\n";
    load(state, text);
}

void BM_IniKeys(benchmark::State & state)
{
    std::string text = "[ONE]\n";
    for (int64_t i = 0; i < state.range(0); ++i)
        text += "K" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    load(state, text);
}
} // namespace

BENCHMARK(BM_IniSections)->Arg(25000)->Arg(50000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniKeys)->Arg(25000)->Arg(50000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
