// The demo player: builds the show's screens from their scripts and plays them on the music.
#pragma once

#include "qor_cMain.h"
#include "qor_cSequencer.h"

class qor_cLayerViewer : public qor_cApplication
{
public:
    qor_cLayerViewer();
    ~qor_cLayerViewer() override;
    bool init() override;
    void release() override;
    void run() override;

    // The show's table of screens (a null script name ends it) and its length in seconds.
    static const qor_sScreenEntry * getShowTable();
    static double getShowLength();
};
