// A window of the window system. The SDL one takes the Win32 show-command integers (show 5,
// minimize 6, maximize 3, hide 0), which callers pass, and maps them to SDL calls.
#pragma once

#include "qor_cString.h"
#include "qor_types.h"

struct SDL_Window;

class qor_cWindow
{
public:
    virtual ~qor_cWindow() {}
    virtual bool setGeometry(int x, int y, int iWidth, int iHeight) = 0;
    virtual int getX() = 0;
    virtual int getY() = 0;
    virtual int getWidth() = 0;
    virtual int getHeight() = 0;
    virtual bool minimize() = 0;
    virtual bool maximize() = 0;
    virtual bool isMinimized() = 0;
    virtual bool isMaximized() = 0;
    virtual bool show(bool bShow) = 0;
    virtual bool toForeground() = 0;
    virtual cchar * getName() = 0;
    virtual bool setName(cchar * szName) = 0;
    virtual int getID() = 0;
};

class qor_cWindowSDL : public qor_cWindow
{
public:
    qor_cWindowSDL(cchar * szName, bool bShow);
    ~qor_cWindowSDL() override;

    bool setGeometry(int x, int y, int iWidth, int iHeight) override;
    int getX() override;
    int getY() override;
    int getWidth() override;
    int getHeight() override;
    bool minimize() override;
    bool maximize() override;
    bool isMinimized() override { return m_bMinimized; }
    bool isMaximized() override { return m_bMaximized; }
    bool show(bool bShow) override;
    bool toForeground() override;
    cchar * getName() override { return m_strWindowName.get(); }
    bool setName(cchar * szName) override;
    int getID() override { return m_iID; }

    // The last show command passed on (0 hide, 3 maximize, 5 show, 6 minimize, ...).
    int getShowCommand() const { return m_iShowCommand; }
    SDL_Window * getSDLWindow() const { return m_pWindow; }
    uint32_t getSDLWindowID() const;

private:
    void applyShowCommand();

    int m_iID;
    qor_cString m_strWindowName;
    int m_iShowCommand;
    bool m_bMaximized;
    bool m_bMinimized;
    int m_iLeft, m_iTop, m_iRight, m_iBottom;
    SDL_Window * m_pWindow;
};
