// The scene test viewer: plays one exported scene with a fixed camera and one light until the
// window is closed, with time counter 0 as its clock.
#pragma once

#include "qor_cLight.h"
#include "qor_cMain.h"
#include "qor_cString.h"

class qor_cDisp;
class qor_cScene;

class qor_cSceneViewer : public qor_cApplication
{
public:
    // The scene file it plays ("scenes/test.s3d" for the player).
    explicit qor_cSceneViewer(cchar * szScene = "scenes/test.s3d");
    ~qor_cSceneViewer() override;
    bool init() override;
    void release() override;
    void run() override;

    // The viewer's fixed stage: world identity; view from (0, 50, 0) towards (0, 50, -100) with
    // up (0, 1, 0); a 640 x 480 perspective of 45 degrees from 1 to 1000000; pLight made a point
    // light of colour (1, 1, 1, 0) at (0, 0, -200) and put into a free slot of the display.
    static void setStage(qor_cDisp * pDisp, qor_cLight * pLight);

    qor_cScene * getScene() const { return m_pScene; }
    // Whether run loaded the scene file.
    bool isSceneLoaded() const { return m_bLoaded; }

    // Where init writes "qor_error.txt" and "qor_trace.txt": the working folder ("", the
    // default), another folder, or nowhere (null). Set before init.
    void setLogFolder(cchar * szFolder);
    // When on, run returns at once if the scene file does not load (no frame is shown).
    void setStopOnLoadFailure(bool bOn) { m_bStopOnLoadFailure = bOn; }

private:
    qor_cString m_strScene;
    qor_cScene * m_pScene; // owned, null until run
    bool m_bLoaded = false;
    bool m_bLogs = true;
    bool m_bStopOnLoadFailure = false;
    qor_cString m_strErrorLog{"qor_error.txt"};
    qor_cString m_strTraceLog{"qor_trace.txt"};
};
