// The demo player: builds the show's screens from their scripts and plays them on the music.
#pragma once

#include "qor_cMain.h"

class qor_cLayerViewer : public qor_cApplication
{
public:
    qor_cLayerViewer();
    ~qor_cLayerViewer() override;
    bool init() override;
    void release() override;
    void run() override;

    // Length of the show's table in seconds.
    static double getShowLength();
};
