// The scene test viewer: plays one exported scene with a fixed camera and one light.
#pragma once

#include "qor_cMain.h"

class qor_cSceneViewer : public qor_cApplication
{
public:
    qor_cSceneViewer();
    ~qor_cSceneViewer() override;
    bool init() override;
    void release() override;
    void run() override;
};
