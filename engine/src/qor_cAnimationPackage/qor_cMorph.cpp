#include "qor_cMorph.h"

#include "qor_cErrorHandler.h"

#include <new>

qor_cMorph::qor_cMorph() : m_lCtrl(), m_pResults(nullptr), m_nResults(0), m_fTime(0.0f) {}

qor_cMorph::~qor_cMorph() { delete[] m_pResults; }

bool qor_cMorph::addController(qor_cTargetLinearController * pCtrl) { return pCtrl && m_lCtrl.add(pCtrl, true); }

bool qor_cMorph::initResults()
{
    const int n = getNbControllers();
    qor_sMorphResult * pResults = new (std::nothrow) qor_sMorphResult[n > 0 ? n : 1]();
    if (!pResults)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cMorph::initResults(void)\n");
        QOR_LOG_LOCATION();
        qoru_logError("m_pResults = new qor_sMorphResult[getNbControllers()<%d>];\n", n);
        return false;
    }
    delete[] m_pResults;
    m_pResults = pResults;
    m_nResults = n;
    return true;
}

void qor_cMorph::evaluate()
{
    for (int i = 0; i < m_nResults && i < getNbControllers(); ++i)
    {
        qor_cTargetLinearController * pCtrl = getController(i);
        qor_cKey scratch(1);
        pCtrl->evaluate(m_fTime, &scratch);
        m_pResults[i].pTarget = pCtrl->getTarget();
        m_pResults[i].fWeight = scratch.m_afValue[0];
    }
}
