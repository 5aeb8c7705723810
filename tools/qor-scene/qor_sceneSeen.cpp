// The check behind render's and play's warning: a scene with no camera is seen through the
// viewer's, and a mesh that no light of the scene reaches is drawn with the ambient light only,
// since the scene chooses each mesh's lights itself (those whose range holds the mesh's centre)
// and so drops the viewer's light.
#include "qor_sceneEngine.h"

#include "qor_cMesh.h"
#include "qor_cOmniLight.h"
#include "qor_cScene.h"

#include <cstdio>
#include <cstdlib>

namespace qor_scene
{
void warnUnseen(qor_cScene & scene, const std::string & strFile, FILE * pOut)
{
    if (scene.cameras().getNbItem() == 0)
        std::fprintf(pOut, "qor-scene: warning: %s: the scene has no camera (the viewer's camera shows it)\n",
                     strFile.c_str());
    int nUnlit = 0;
    for (int i = 0; i < scene.meshes().getNbItem(); ++i)
    {
        const qor_cVector3 & c = scene.meshes().get<qor_cMesh>(i)->getWorldSphere().m_vCenter;
        bool bLit = false;
        for (int l = 0; l < scene.omniLights().getNbItem() && !bLit; ++l)
        {
            qor_cOmniLight * pLight = scene.omniLights().get<qor_cOmniLight>(l);
            pLight->evaluate();
            const qor_cVector3 d = c - pLight->m_vPosition;
            bLit = d.dot(d) <= pLight->light().m_sphere.m_fRadiusSq;
        }
        nUnlit += bLit ? 0 : 1;
    }
    if (nUnlit > 0)
        std::fprintf(pOut,
                     "qor-scene: warning: %s: %d of %d meshes have no light of the scene in range (drawn with the "
                     "ambient light only; qor-import --stage adds lights)\n",
                     strFile.c_str(), nUnlit, scene.meshes().getNbItem());
}

void warnUnseenFile(const std::string & strFile)
{
    // The headless engine chooses its own drivers: the ones the caller goes on with are kept.
    const char * aszVar[] = {"SDL_VIDEODRIVER", "LP_NUM_THREADS"};
    std::string astrOld[2];
    bool abSet[2];
    for (int i = 0; i < 2; ++i)
    {
        const char * sz = std::getenv(aszVar[i]);
        abSet[i] = sz != nullptr;
        astrOld[i] = sz ? sz : "";
    }
    {
        Engine engine;
        if (qor_cScene * pScene = engine.load(strFile))
        {
            float t = 0.0f;
            pScene->rewind();
            pScene->clearUpdatedFlags();
            pScene->update(&t);
            warnUnseen(*pScene, strFile, stderr);
        }
    }
    for (int i = 0; i < 2; ++i)
    {
        if (abSet[i])
            setenv(aszVar[i], astrOld[i].c_str(), 1);
        else
            unsetenv(aszVar[i]);
    }
}
} // namespace qor_scene
