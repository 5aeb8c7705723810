#include "qor_cBlendSettings.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cXChange.h"

bool qor_cBlendSettings::use() const
{
    bool b = QOR_ENGINE()->setBlendMode(m_src, m_dst);
    if (!b)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cBlendSettings::use() const\n");
        qoru_logError("bool b = QOR_ENGINE()->setBlendMode(m_src %d, m_dst %d);\n", m_src, m_dst);
    }
    return b;
}
