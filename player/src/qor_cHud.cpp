#include "qor_cHud.h"

#include "qor_cDisp.h"
#include "qor_cFont.h"
#include "qor_cMonofiler.h"
#include "qor_cSequencer.h"
#include "qor_cXChange.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <sys/stat.h>

namespace
{
// The font's picture, in the pack or beside it: without it the glyphs would draw as blocks.
bool hasFontPicture()
{
    cchar * szPicture = "maps/qor/font.jpg";
    qor_cMonofiler * pPack = QOR_XCHANGE() ? QOR_XCHANGE()->getMonofiler() : nullptr;
    if (pPack && pPack->findFile(szPicture, nullptr, nullptr, nullptr))
        return true;
    struct stat st;
    return stat(szPicture, &st) == 0 && S_ISREG(st.st_mode);
}

// The font draws 16-pixel cells a line: the message is cut to what fits the 640-pixel width.
const size_t kMaxMessage = 120;
} // namespace

qor_cHud::qor_cHud() : m_pFont(nullptr), m_dFps(0.0), m_dWindowStart(-1.0), m_nWindowFrames(0) {}

qor_cHud::~qor_cHud() { delete m_pFont; }

bool qor_cHud::init()
{
    delete m_pFont;
    m_pFont = nullptr;
    if (!hasFontPicture())
    {
        std::fprintf(stderr, "qor-player: --hud: the show has no font (maps/qor/font.jpg and font.dat); the HUD is "
                             "not drawn\n");
        return false;
    }
    m_pFont = new (std::nothrow) qor_cFont;
    if (m_pFont && !m_pFont->loadFont("qor\\font"))
    {
        delete m_pFont;
        m_pFont = nullptr;
    }
    if (!m_pFont)
        std::fprintf(stderr, "qor-player: --hud: the font \"maps/qor/font\" cannot be loaded; the HUD is not drawn\n");
    return m_pFont != nullptr;
}

void qor_cHud::countFrame(double dNowSeconds)
{
    if (m_dWindowStart < 0.0)
    {
        m_dWindowStart = dNowSeconds;
        m_nWindowFrames = 0;
        return;
    }
    ++m_nWindowFrames;
    const double dSpan = dNowSeconds - m_dWindowStart;
    if (dSpan >= 1.0)
    {
        m_dFps = m_nWindowFrames / dSpan;
        m_dWindowStart = dNowSeconds;
        m_nWindowFrames = 0;
    }
}

void qor_cHud::setMessage(const std::string & strMessage)
{
    m_strMessage = strMessage;
    for (char & c : m_strMessage)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    while (!m_strMessage.empty() && m_strMessage.back() == ' ')
        m_strMessage.pop_back();
}

std::string qor_cHud::formatTime(double dMs)
{
    if (!(dMs > 0.0))
        dMs = 0.0;
    const long long nHundredths = static_cast<long long>(std::floor(dMs / 10.0));
    char ac[48];
    std::snprintf(ac, sizeof ac, "%lld:%02lld.%02lld", nHundredths / 6000, nHundredths / 100 % 60, nHundredths % 100);
    return ac;
}

std::string qor_cHud::text(const sState & state) const
{
    char ac[512];
    const double dUnits = state.dShowMs * qor_cSequencer::kUnitsPerMs;
    std::snprintf(ac, sizeof ac, "screen %d/%d %s%s%s\nshow %s  %.1f u\nscreen time %.1f u  %s\n%.1f fps",
                  state.iEntry + 1, state.nEntries, state.szScript ? state.szScript : "",
                  state.bPaused ? "  paused" : "", state.bLoop ? "  loop" : "", formatTime(state.dShowMs).c_str(),
                  dUnits, double(state.fScreenTime),
                  formatTime(state.fScreenTime / qor_cSequencer::kUnitsPerMs).c_str(), m_dFps);
    std::string str = ac;
    if (!m_strMessage.empty())
        str +=
            "\n" + (m_strMessage.size() > kMaxMessage ? m_strMessage.substr(0, kMaxMessage - 3) + "..." : m_strMessage);
    return str;
}

void qor_cHud::draw(const sState & state)
{
    qor_cDisp * pDisp = QOR_DISP();
    if (!m_pFont || !pDisp)
        return;
    m_pFont->printf("%s", text(state).c_str());
    pDisp->beginScene();
    m_pFont->draw(4.0f, 4.0f);
    pDisp->endScene();
}
