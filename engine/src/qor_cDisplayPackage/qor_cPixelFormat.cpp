#include "qor_cPixelFormat.h"

#include "qor_cErrorHandler.h"

qor_cPixelFormat::qor_cPixelFormat() : m_red{0, 8}, m_green{0, 8}, m_blue{0, 8}, m_alpha{0, 8}, m_uFormat(0) {}

qor_cPixelFormat::~qor_cPixelFormat() {}

bool qor_cPixelFormat::setFromD3DFormat(uint uFormat)
{
    m_uFormat = uFormat;
    switch (uFormat)
    {
    case qorrs_fmt_R8G8B8: // alpha unchanged
        m_red = {16, 0}, m_green = {8, 0}, m_blue = {0, 0};
        return true;
    case qorrs_fmt_A8R8G8B8:
    case qorrs_fmt_X8R8G8B8:
        m_red = {16, 0}, m_green = {8, 0}, m_blue = {0, 0}, m_alpha = {24, 0};
        return true;
    case qorrs_fmt_R5G6B5: // alpha unchanged
        m_red = {11, 3}, m_green = {5, 2}, m_blue = {0, 3};
        return true;
    case qorrs_fmt_X1R5G5B5:
    case qorrs_fmt_A1R5G5B5:
        m_red = {10, 3}, m_green = {5, 3}, m_blue = {0, 3}, m_alpha = {15, 7};
        return true;
    case qorrs_fmt_A4R4G4B4:
    case qorrs_fmt_X4R4G4B4:
        m_red = {8, 4}, m_green = {4, 4}, m_blue = {0, 4}, m_alpha = {12, 4};
        return true;
    default:
        QOR_LOG_LOCATION();
        qoru_logError("format de pixel D3D non supporte par le moteur\n");
        qoru_logError("\tformat <%d>\n", uFormat);
        return false;
    }
}
