// Per-frame and load-time pixel work of the image code: the offset-table frame (rewritten
// every frame for each offset texture) and the normal map of a height image.
#include <benchmark/benchmark.h>

#include "qor_cImageOps.h"

#include <cstdint>
#include <vector>

namespace
{
void BM_offsetTableFrame(benchmark::State & state)
{
    std::vector<uint32_t> src(65536), dst(65536);
    std::vector<uchar> tx(65536), ty(65536);
    for (uint i = 0; i < 65536; ++i)
    {
        src[i] = i * 2654435761u;
        // A tunnel-like distortion: scattered reads, as the show's tables make.
        tx[i] = (uchar)((i * 7) ^ (i >> 8));
        ty[i] = (uchar)((i >> 8) * 3 + (i & 15));
    }
    int t = 0;
    for (auto _ : state)
    {
        qoru_applyOffsetTable(src.data(), tx.data(), ty.data(), t++, dst.data(), 256);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_offsetTableFrame);

void BM_bumpMap(benchmark::State & state)
{
    const uint n = (uint)state.range(0);
    std::vector<uint> h((size_t)n * n);
    for (size_t i = 0; i < h.size(); ++i)
        h[i] = (uint)((i * 2654435761u) & 0xFF0000);
    std::vector<uchar> rgb(h.size() * 3);
    for (auto _ : state)
    {
        qoru_computeBumpMap(h.data(), n, n, rgb.data());
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)h.size());
}
BENCHMARK(BM_bumpMap)->Arg(256)->Arg(512);
} // namespace

BENCHMARK_MAIN();
