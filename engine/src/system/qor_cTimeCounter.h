// Millisecond counters. The SDL one reads SDL_GetTicks (32-bit, unsigned difference, so the
// 49.7-day wrap is harmless).
#pragma once

#include <cstdint>

class qor_cTimeCounter
{
public:
    virtual ~qor_cTimeCounter() {}
    virtual void restart() = 0;
    virtual void update() = 0;
    virtual void refresh() = 0;
    virtual int getElapsed() = 0;
};

class qor_cTimeCounterSDL : public qor_cTimeCounter
{
public:
    qor_cTimeCounterSDL();
    void restart() override;
    void update() override;
    void refresh() override { update(); }
    int getElapsed() override;

    // Tick source, replaceable so wrap-around and timer dispatch can be driven exactly.
    typedef uint32_t (*TickSource)();
    static void setTickSource(TickSource pfnSource);
    static uint32_t now();

private:
    uint32_t m_uStart;
    uint32_t m_uLast;
};
