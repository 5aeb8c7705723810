#include "qor_cFont.h"

#include "qor_cDisp.h"
#include "qor_cEffect.h"
#include "qor_cErrorHandler.h"
#include "qor_cImageOps.h"
#include "qor_cMonofiler.h"
#include "qor_cTexture.h"
#include "qor_cTriList.h"
#include "qor_cXChange.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

qor_cFont::qor_cFont() : m_pTriList(qor_cTriList::create()), m_pEffect(nullptr)
{
    m_aColor[0] = m_aColor[1] = m_aColor[2] = m_aColor[3] = 255;
    for (float & f : m_afWidth)
        f = 32.0f;
    std::strcpy(m_szText, "_empty_string_\nnext line.");
}

qor_cFont::~qor_cFont()
{
    delete m_pTriList;
    delete m_pEffect;
}

void qor_cFont::setColor(uchar r, uchar g, uchar b, uchar a)
{
    m_aColor[0] = b;
    m_aColor[1] = g;
    m_aColor[2] = r;
    m_aColor[3] = a;
}

bool qor_cFont::loadFont(cchar * szName)
{
    qor_cTexture * pTexture = new (std::nothrow) qor_cTexture;
    if (!pTexture)
        return false;
    // The glyph image is its own alpha: red is the coverage.
    if (!pTexture->load(szName, szName, false))
    {
        delete pTexture;
        return false;
    }

    delete m_pEffect;
    m_pEffect = new (std::nothrow) qor_cEffect;
    if (!m_pEffect)
    {
        delete pTexture;
        return false;
    }
    qor_cEffectPass * pPass = m_pEffect->addPass();
    pPass->setBlend(4, 5);
    pPass->setZFunc(7);
    pPass->setZWrite(0);
    qor_cEffectStage * pStage = pPass->addStage();
    pStage->setTexture(pTexture, true);
    pStage->setColorCombiner(2, 3, 1);
    pStage->setAlphaCombiner(2, 3, 1);

    qor_cString strWidths;
    strWidths.printf("maps/%s.dat", szName ? szName : "");
    uint size = 0;
    qor_cMonofiler * pPack = QOR_XCHANGE()->getMonofiler();
    char * pBuffer = pPack ? pPack->loadFile(strWidths.get(), &size) : nullptr;
    if (!pBuffer)
    {
        // The glyphs still draw, with the full-cell default advance.
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cFont::loadFont(cchar * szName<%s>)\n", szName ? szName : "");
        qoru_logError("char * pBuffer = QOR_XCHANGE()->getMonofiler()->loadFile(<%s>);\n", strWidths.get());
        return true;
    }
    // A short table sets the widths it has; the rest keep the default.
    for (uint i = 0; i < 256 && i < size; ++i)
        m_afWidth[i] = (float)(signed char)pBuffer[i];
    delete[] pBuffer;
    return true;
}

void qor_cFont::printf(const char * szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    std::vsnprintf(m_szText, sizeof(m_szText), szFormat, args);
    va_end(args);
}

void qor_cFont::drawText(float x, float y, uchar r, uchar g, uchar b, uchar a)
{
    if (!m_pTriList || !m_pEffect)
        return;
    float afCorner[2 * e_maxChar];
    uint n = qoru_layoutText(m_szText, x, y, m_afWidth, afCorner, e_maxChar);
    if (n == 0)
        return;

    m_pTriList->startAdd(2 * e_maxChar, 0);
    const float d = 1.0f / 16.0f;
    for (uint i = 0; i < n; ++i)
    {
        uchar c = (uchar)m_szText[i];
        float U = (float)(c % 16) / 16.0f, V = (float)(c / 16) / 16.0f;
        float l = afCorner[2 * i], t = afCorner[2 * i + 1];
        const float aV[6][4] = {
            {l, t, U, V},
            {l + e_cell, t + e_cell, U + d, V + d},
            {l + e_cell, t, U + d, V},
            {l + e_cell, t + e_cell, U + d, V + d},
            {l, t, U, V},
            {l, t + e_cell, U, V + d},
        };
        for (const auto & v : aV)
        {
            m_pTriList->setPositionRHW(v[0], v[1], 1.0f, 1.0f);
            m_pTriList->setColor(r, g, b, a);
            m_pTriList->setUV(v[2], v[3]);
            m_pTriList->next();
        }
    }
    m_pTriList->endAdd();

    qor_cDisp * pDisp = QOR_DISP();
    // Glyph cells sit side by side in the image: linear filtering would bleed neighbours in.
    pDisp->setTexFilter(0, 0, 0);
    pDisp->setTexFilter(0, 1, 0);
    for (uint i = 0; i < m_pEffect->getNbPass(); ++i)
    {
        m_pEffect->usePass(i);
        m_pTriList->draw();
    }
    pDisp->setTexFilter(0, 0, 1);
    pDisp->setTexFilter(0, 1, 1);
}

void qor_cFont::draw(float x, float y)
{
    drawText(x + 2, y + 2, 0, 0, 0, 255);
    drawText(x, y, m_aColor[2], m_aColor[1], m_aColor[0], m_aColor[3]);
}
