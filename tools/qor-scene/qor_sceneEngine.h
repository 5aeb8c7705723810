// The headless engine qor-scene loads scenes into: service directory, empty pack (every file
// from the disk), JPEG module when it can be found, offscreen display, and an error log in a
// folder of its own whose lines are shown when a load fails.
#pragma once

#include "qor_cMonofiler.h"
#include "qor_cXChange.h"

#include <cstdio>
#include <memory>
#include <string>

class qor_cDisp;
class qor_cErrorHandler;
class qor_cScene;

namespace qor_scene
{
class Engine
{
public:
    Engine();
    ~Engine();
    Engine(const Engine &) = delete;
    Engine & operator=(const Engine &) = delete;

    // Loads the scene file (and its ".MOT"); null with the reason on standard error on failure.
    qor_cScene * load(const std::string & strPath);
    qor_cDisp * getDisp() const { return m_pDisp; }

private:
    std::string m_strDir;
    std::unique_ptr<qor_cErrorHandler> m_pHandler;
    qor_cXChange m_xchange;
    qor_cMonofiler m_pack;
    qor_cDisp * m_pDisp = nullptr;
    std::unique_ptr<qor_cScene> m_pScene;
};

// Says on pOut when the scene (loaded and updated) has no camera, or meshes that none of its
// lights reaches.
void warnUnseen(qor_cScene & scene, const std::string & strFile, FILE * pOut);
// The same for a scene file, loaded headless at time 0 (play's check before its window opens);
// a file that does not load gets the headless engine's reason first.
void warnUnseenFile(const std::string & strFile);
} // namespace qor_scene
