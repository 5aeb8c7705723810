// The script machine's interpreter: instructions per second on a loop-heavy program, and the
// cost of a native call (the same loop with and without one SYSREQ.C per turn).
#include <benchmark/benchmark.h>

#include "qor_amx.h"
#include "qor_amxasm.h"

#include <cstring>
#include <string>
#include <vector>

namespace
{
// count(n): n turns of shifts, a signed division, memory loads and stores.
const char * const kLoop = R"(
.public count
.code
count:
    proc
    zero.pri
    stor.pri   acc
    load.s.pri 12
    stor.pri   n
again:
    load.pri   n
    jzer       finished
    move.alt
    shl.c.alt  1
    xor
    const.alt  7
    sdiv
    load.alt   acc
    add
    stor.pri   acc
    dec        n
    jump       again
finished:
    load.pri   acc
    retn
.data
acc: .cell 0
n:   .cell 0
)";

// turns(n): n turns, each with (native) or without (plain) one native call of one argument.
std::string callLoop(bool bNative)
{
    std::string s = ".native nop\n.public turns\n.code\nturns:\n    proc\n    load.s.pri 12\n    stor.pri n\nagain:\n"
                    "    load.pri n\n    jzer done\n    push.pri\n    push.c 4\n";
    s += bNative ? "    sysreq.c nop\n" : "    nop_placeholder\n";
    s += "    stack 8\n    dec n\n    jump again\ndone:\n    retn\n.data\nn: .cell 0\n";
    if (!bNative)
    {
        size_t at = s.find("    nop_placeholder\n");
        s.replace(at, strlen("    nop_placeholder\n"), "    const.pri 0\n"); // an instruction of the same size
    }
    return s;
}

cell AMX_NATIVE_CALL n_nop(AMX *, cell * params) { return params[1]; }
const AMX_NATIVE_INFO s_aNatives[] = {{"nop", n_nop}, {nullptr, nullptr}};

struct Machine
{
    explicit Machine(const std::string & text)
    {
        std::vector<unsigned char> file;
        std::vector<std::string> errors;
        if (!qoru_amxAssemble(text, "bench", false, &file, &errors))
            abort();
        AMX_HEADER h;
        amx_ReadHeader(file.data(), &h);
        image.assign((size_t)h.stp + AMX_IMAGE_SLACK, 0);
        memcpy(image.data(), file.data(), file.size());
        memset(&amx, 0, sizeof amx);
        if (amx_Init(&amx, image.data()) != AMX_ERR_NONE || amx_Register(&amx, s_aNatives, -1) != AMX_ERR_NONE)
            abort();
    }
    ~Machine() { amx_Cleanup(&amx); }
    std::vector<unsigned char> image;
    AMX amx;
};

void BM_InterpreterLoop(benchmark::State & state)
{
    Machine m(kLoop);
    int64_t steps = 0;
    for (auto _ : state)
    {
        cell ret;
        if (amx_Exec(&m.amx, &ret, 0, 1, (cell)state.range(0)) != AMX_ERR_NONE)
            abort();
        benchmark::DoNotOptimize(ret);
        steps += m.amx.steps;
    }
    state.counters["instructions/s"] = benchmark::Counter((double)steps, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_InterpreterLoop)->Arg(100000);

void callLoopBench(benchmark::State & state, bool bNative)
{
    Machine m(callLoop(bNative));
    const cell n = (cell)state.range(0);
    for (auto _ : state)
    {
        cell ret;
        if (amx_Exec(&m.amx, &ret, 0, 1, n) != AMX_ERR_NONE)
            abort();
        benchmark::DoNotOptimize(ret);
    }
    // seconds per turn of the loop
    state.counters["s/turn"] = benchmark::Counter((double)n * (double)state.iterations(),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
void BM_LoopWithNativeCall(benchmark::State & state) { callLoopBench(state, true); }
void BM_LoopWithoutNativeCall(benchmark::State & state) { callLoopBench(state, false); }
BENCHMARK(BM_LoopWithNativeCall)->Arg(100000);
BENCHMARK(BM_LoopWithoutNativeCall)->Arg(100000);
} // namespace

BENCHMARK_MAIN();
