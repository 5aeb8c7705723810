#include "qor_cWindow.h"

#include "qor_cSDL.h"
#include "qor_cSystem.h"

#include <SDL.h>

namespace
{
void logWindow(cchar * sz)
{
    if (qor_cLogFile * pLog = qor_cSystemSDL::getLog())
        pLog->log("%s", sz);
}
} // namespace

qor_cWindowSDL::qor_cWindowSDL(cchar * szName, bool bShow)
    : m_iID(0), m_iShowCommand(0), m_bMaximized(false), m_bMinimized(false), m_iLeft(0), m_iTop(0), m_iRight(0),
      m_iBottom(0), m_pWindow(nullptr)
{
    if (!qor_cSystemSDL::isInitialised())
    {
        logWindow("qor_cWindowWin32::qor_cWindowWin32() : qor_cSystemWin32 isn't initialised.\n");
        return;
    }
    m_iID = qor_cSystemSDL::takeNextWindowID();
    m_strWindowName.set(szName ? szName : "");
    // Every window can carry the display device's GL context.
    qoru_setGLAttributes();
    m_pWindow = SDL_CreateWindow(m_strWindowName.get(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 640, 480,
                                 SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (!m_pWindow)
    {
        logWindow("qor_cWindow::qor_cWindow() : Can't create window.\n");
        return;
    }
    SDL_RaiseWindow(m_pWindow);
    int w = 0, h = 0;
    SDL_GetWindowSize(m_pWindow, &w, &h);
    m_iLeft = 0;
    m_iTop = 0;
    m_iRight = w;
    m_iBottom = h;
    if (bShow)
        show(true);
}

qor_cWindowSDL::~qor_cWindowSDL()
{
    // Clear the handle first so nothing dispatched during the destruction finds this window.
    SDL_Window * pWindow = m_pWindow;
    m_pWindow = nullptr;
    if (!pWindow)
        return;
    if (qoru_getActiveSDLWindow() == pWindow)
        qoru_setActiveSDLWindow(nullptr);
    // The display device's GL context may still live on it: hide it now, destroy it with the system.
    qor_cSystemSDL::retireSDLWindow(pWindow);
}

uint32_t qor_cWindowSDL::getSDLWindowID() const { return m_pWindow ? SDL_GetWindowID(m_pWindow) : 0; }

void qor_cWindowSDL::applyShowCommand()
{
    switch (m_iShowCommand)
    {
    case 0: // hide
        SDL_HideWindow(m_pWindow);
        break;
    case 2: // show minimized
    case 6: // minimize
    case 7: // show minimized, not active
        SDL_ShowWindow(m_pWindow);
        SDL_MinimizeWindow(m_pWindow);
        break;
    case 3: // maximize
        SDL_ShowWindow(m_pWindow);
        SDL_MaximizeWindow(m_pWindow);
        break;
    case 1: // show normal
    case 9: // restore
        SDL_ShowWindow(m_pWindow);
        SDL_RestoreWindow(m_pWindow);
        break;
    default: // show (5) and the other showing commands
        SDL_ShowWindow(m_pWindow);
        break;
    }
}

bool qor_cWindowSDL::setGeometry(int x, int y, int iWidth, int iHeight)
{
    if (!m_pWindow)
    {
        logWindow("qor_cWindowWin32::setGeometry() : Window isn't created...Can't resize it !!\n");
        return false;
    }
    m_iLeft = x;
    m_iTop = y;
    m_iRight = x + iWidth;
    m_iBottom = y + iHeight;
    m_bMaximized = false;
    m_bMinimized = false;
    // SDL sizes the client area directly: the requested size is the drawable area.
    SDL_SetWindowPosition(m_pWindow, x, y);
    SDL_SetWindowSize(m_pWindow, iWidth, iHeight);
    return true;
}

int qor_cWindowSDL::getX() { return m_pWindow ? m_iLeft : 0; }
int qor_cWindowSDL::getY() { return m_pWindow ? m_iTop : 0; }
int qor_cWindowSDL::getWidth() { return m_pWindow ? m_iRight - m_iLeft : 0; }
int qor_cWindowSDL::getHeight() { return m_pWindow ? m_iBottom - m_iTop : 0; }

bool qor_cWindowSDL::show(bool bShow)
{
    if (!m_pWindow)
    {
        logWindow("qor_cWindow::show() : Window isn't created...Can't show or hide it.\n");
        return false;
    }
    m_iShowCommand = bShow ? (m_iShowCommand | 5) : (m_iShowCommand & ~5);
    applyShowCommand();
    return true;
}

bool qor_cWindowSDL::minimize()
{
    if (!m_pWindow)
    {
        logWindow("qor_cWindowWin32::minimize() : Window isn't created...Can't minimize it.\n");
        return false;
    }
    m_bMinimized = true;
    m_bMaximized = false;
    m_iShowCommand = (m_iShowCommand & ~1) | 6;
    applyShowCommand();
    return true;
}

bool qor_cWindowSDL::maximize()
{
    if (!m_pWindow)
    {
        logWindow("qor_cWindowWin32::maximize() : Window isn't created...Can't maximize it.\n");
        return false;
    }
    m_bMaximized = true;
    m_bMinimized = false;
    m_iShowCommand = (m_iShowCommand & ~4) | 3;
    applyShowCommand();
    return true;
}

bool qor_cWindowSDL::toForeground()
{
    if (!m_pWindow)
    {
        logWindow("qor_cWindowWin32::toForeground() : m_hWnd is NULL Ptr\n");
        return false;
    }
    SDL_RaiseWindow(m_pWindow);
    return true;
}

bool qor_cWindowSDL::setName(cchar * szName)
{
    if (!m_pWindow)
    {
        logWindow("qor_cWindowWin32::setName() : Window isn't created...Can't rename it.\n");
        return false;
    }
    if (!szName)
        return true;
    if (!m_strWindowName.set(szName))
    {
        logWindow("qor_cWindowWin32::setName() : m_strWindowName.set() returned false.\n");
        return false;
    }
    SDL_SetWindowTitle(m_pWindow, m_strWindowName.get());
    return true;
}
