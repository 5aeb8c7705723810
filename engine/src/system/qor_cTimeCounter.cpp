#include "qor_cTimeCounter.h"

#include <SDL.h>

namespace
{
uint32_t sdlTicks() { return SDL_GetTicks(); }
qor_cTimeCounterSDL::TickSource s_pfnTicks = &sdlTicks;
} // namespace

void qor_cTimeCounterSDL::setTickSource(TickSource pfnSource) { s_pfnTicks = pfnSource ? pfnSource : &sdlTicks; }
uint32_t qor_cTimeCounterSDL::now() { return s_pfnTicks(); }

qor_cTimeCounterSDL::qor_cTimeCounterSDL() : m_uStart(now()), m_uLast(m_uStart) {}
void qor_cTimeCounterSDL::restart() { m_uStart = now(); }
void qor_cTimeCounterSDL::update() { m_uLast = now(); }

int qor_cTimeCounterSDL::getElapsed()
{
    refresh();
    return static_cast<int>(m_uLast - m_uStart);
}
