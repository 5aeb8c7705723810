// qor_cEasyAnim::advance + evaluate on tracks of 4, 64 and 4096 keys of each interpolation method.
//
// A counting global operator new checks that a frame allocates nothing: the "allocs" counter is
// the number of allocations per iteration in the timed loop, and a run that allocates fails.
//
//   build/bin/bench_animation --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include "qor_cEasyAnim.h"
#include "qor_cKey.h"

#include <cstdlib>
#include <memory>
#include <new>

namespace
{
long s_nAlloc = 0;

void * countedAlloc(std::size_t n)
{
    ++s_nAlloc;
    return std::malloc(n ? n : 1);
}

const char * const s_aszMethod[] = {"linear", "smooth", "hermite", "tcb", "step"};

qor_cKey * makeKey(int iMethod, int i)
{
    qor_cKey * pKey = nullptr;
    switch (iMethod)
    {
    case qor_cKey::e_key_smooth:
    case qor_cKey::e_key_hermite: {
        qor_cSmoothKey * p = new qor_cSmoothKey(3);
        p->m_afTangent[0] = 0.5f;
        p->m_afTangent[1] = -0.25f;
        p->m_afTangent[2] = 1.0f;
        pKey = p;
        break;
    }
    case qor_cKey::e_key_tcb:
        pKey = new qor_cTcbKey(3);
        break;
    case qor_cKey::e_key_step:
        pKey = new qor_cStepKey(3);
        break;
    default:
        pKey = new qor_cLinearKey(3);
        break;
    }
    // Uneven spacing so that the search takes different paths.
    pKey->m_fTime = float(i) * 3.0f + float(i % 3);
    pKey->m_afValue[0] = float((i * 7) % 11);
    pKey->m_afValue[1] = float((i * 5) % 13) * 0.5f;
    pKey->m_afValue[2] = float(i % 2);
    return pKey;
}

// args: method (key type 0..4), number of keys.
void BM_advanceEvaluate(benchmark::State & state)
{
    const int iMethod = int(state.range(0));
    const int nKeys = int(state.range(1));
    auto pAnim = std::make_unique<qor_cEasyAnim>();
    // Hermite has no key class of its own: its controller is created explicitly.
    if (iMethod == qor_cKey::e_key_hermite && !pAnim->createController(qor_cKey::e_key_hermite))
        state.SkipWithError("createController failed");
    for (int i = 0; i < nKeys; ++i)
        if (!pAnim->addKey(makeKey(iMethod, i), true))
            state.SkipWithError("addKey refused a key");
    if (!pAnim->initKeyArray())
        state.SkipWithError("initKeyArray failed");
    pAnim->m_iEndMode = qor_cEasyAnim::e_end_loop;
    // About 1000 frames per pass over the track, never landing on the same times twice.
    const float dt = pAnim->m_fLength / 997.0f;

    const long nStart = s_nAlloc;
    if (nStart < nKeys)
        state.SkipWithError("the counting operator new is not in use");
    for (auto _ : state)
    {
        pAnim->advance(&dt);
        benchmark::DoNotOptimize(pAnim->evaluate()->m_afValue[0]);
    }
    const long nAlloc = s_nAlloc - nStart;
    state.counters["allocs"] = benchmark::Counter(double(nAlloc), benchmark::Counter::kAvgIterations);
    state.SetLabel(s_aszMethod[iMethod]);
    if (nAlloc != 0)
        state.SkipWithError("advance + evaluate allocated memory");
}
} // namespace

// The replacements below pair malloc with free; GCC, seeing them inlined into new-expressions,
// would take free for a mismatch with operator new.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void * operator new(std::size_t n)
{
    void * p = countedAlloc(n);
    if (!p)
        throw std::bad_alloc();
    return p;
}
void * operator new[](std::size_t n)
{
    void * p = countedAlloc(n);
    if (!p)
        throw std::bad_alloc();
    return p;
}
void * operator new(std::size_t n, const std::nothrow_t &) noexcept { return countedAlloc(n); }
void * operator new[](std::size_t n, const std::nothrow_t &) noexcept { return countedAlloc(n); }
void operator delete(void * p) noexcept { std::free(p); }
void operator delete[](void * p) noexcept { std::free(p); }
void operator delete(void * p, std::size_t) noexcept { std::free(p); }
void operator delete[](void * p, std::size_t) noexcept { std::free(p); }

BENCHMARK(BM_advanceEvaluate)->ArgsProduct({{0, 1, 2, 3, 4}, {4, 64, 4096}})->ArgNames({"method", "keys"});

BENCHMARK_MAIN();
