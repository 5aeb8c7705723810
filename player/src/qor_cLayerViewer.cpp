#include "qor_cLayerViewer.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cKeyb.h"

qor_cLayerViewer::qor_cLayerViewer() {}
qor_cLayerViewer::~qor_cLayerViewer() {}

bool qor_cLayerViewer::init()
{
    if (!initLowLevel())
    {
        QOR_LOG_LOCATION();
        qoru_logError("bRet = initLowLevel();\n");
        return false;
    }
    openPack("dask243.dat");
    return true;
}

void qor_cLayerViewer::release() {}

void qor_cLayerViewer::run()
{
    // Until the sequencer lands: clear and present frames until quit is requested.
    while (!isQuitRequested())
    {
        m_pDisp->beginScene();
        m_pDisp->clear(3);
        m_pDisp->endScene();
        m_pDisp->present();
        processMessages();
        m_pKeyb->update();
        if (countFrame())
            break;
    }
}

namespace
{
// The show: each screen script and how long its screen is shown, in frame units of 1/30 s.
// A script used several times is loaded into a screen of its own each time.
const qor_sScreenEntry s_aShowTable[] = {
    {"kv_screen_intro.o", 890},    {"kv_screen_dask.o", 390},      {"kv_screen_inter1.o", 450},
    {"kv_screen_black.o", 52},     {"kv_screen_chapter5.o", 1570}, {"kv_screen_inter2.o", 450},
    {"kv_screen_black.o", 30},     {"kv_screen_chapter7.o", 1055}, {"kv_screen_inter3.o", 450},
    {"kv_screen_chapter6.o", 980}, {"kv_screen_inter4.o", 450},    {"kv_screen_black.o", 55},
    {"kv_screen_chapter4.o", 1190}, {"kv_screen_endscroll.o", 1100}, {"kv_screen_theend.o", 210},
    {nullptr, 0},
};
} // namespace

const qor_sScreenEntry * qor_cLayerViewer::getShowTable() { return s_aShowTable; }

double qor_cLayerViewer::getShowLength()
{
    const qor_cSequencer seq(s_aShowTable);
    return seq.getStart(seq.getCount()) / 30.0;
}
