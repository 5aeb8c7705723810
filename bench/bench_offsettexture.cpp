// The offset-table texture's per-frame cost on the display device: 65536 texels rewritten and
// uploaded. Written straight through the texture lock (what qor_cTexture::update does) against
// the same frame sent pixel by pixel through setPixel (the device's lock, setPixel, unlock path).
#include "qor_cDisp.h"
#include "qor_cImageOps.h"
#include "qor_sUCColor.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace
{
struct Tables
{
    std::vector<qor_sUCColor> src = std::vector<qor_sUCColor>(65536);
    std::vector<uchar> tx = std::vector<uchar>(65536), ty = std::vector<uchar>(65536);
    Tables()
    {
        for (uint i = 0; i < 65536; ++i)
        {
            src[i].setARGB(0xFF000000u | (i * 2654435761u >> 8));
            tx[i] = (uchar)((i * 7) ^ (i >> 8));
            ty[i] = (uchar)((i >> 8) * 3 + (i & 15));
        }
    }
};

qor_cDisp * display()
{
    static std::unique_ptr<qor_cDisp> s_pDisp;
    if (!s_pDisp)
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        s_pDisp.reset(qor_cDisp::create());
        if (!s_pDisp || !s_pDisp->init(640, 480, 32, false))
            std::abort();
    }
    return s_pDisp.get();
}

void BM_offsetTextureThroughLock(benchmark::State & state)
{
    qor_cDisp * pDisp = display();
    Tables tab;
    qor_hTexture h = pDisp->createTexture(256, 256, 8);
    int t = 0;
    for (auto _ : state)
    {
        void * pBits = nullptr;
        uint pitch = 0;
        pDisp->lockTextureBits(h, &pBits, &pitch);
        qoru_applyOffsetTable(tab.src.data(), tab.tx.data(), tab.ty.data(), t++, static_cast<qor_sUCColor *>(pBits),
                              pitch / 4);
        pDisp->unlockTexture(h);
    }
    pDisp->releaseTexture(h);
    state.SetItemsProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_offsetTextureThroughLock)->Unit(benchmark::kMicrosecond);

void BM_offsetTextureThroughSetPixel(benchmark::State & state)
{
    qor_cDisp * pDisp = display();
    Tables tab;
    std::vector<qor_sUCColor> frame(65536);
    qor_hTexture h = pDisp->createTexture(256, 256, 8);
    int t = 0;
    for (auto _ : state)
    {
        qoru_applyOffsetTable(tab.src.data(), tab.tx.data(), tab.ty.data(), t++, frame.data(), 256);
        pDisp->lockTexture(h, nullptr);
        for (uint y = 0; y < 256; ++y)
            for (uint x = 0; x < 256; ++x)
            {
                const qor_sUCColor & c = frame[y * 256 + x];
                pDisp->setPixel(x, y, c.r, c.g, c.b, c.a);
            }
        pDisp->unlockTexture(h);
    }
    pDisp->releaseTexture(h);
    state.SetItemsProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_offsetTextureThroughSetPixel)->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
