#include "qor_sceneEngine.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cJpegPlugin.h"
#include "qor_cSDL.h"
#include "qor_cScene.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace qor_scene
{
Engine::Engine()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("QOR_NO_DIALOGS", "1", 0);
    setenv("LP_NUM_THREADS", "0", 0);
    qoru_setDialogsEnabled(false);
    // The GL driver stays loaded to the end, so that a leak check at exit can read its frames.
    qoru_pinGLLibraries();
    char acDir[] = "/tmp/qor-scene-XXXXXX";
    if (mkdtemp(acDir))
    {
        m_strDir = acDir;
        m_pHandler.reset(
            new qor_cErrorHandler((m_strDir + "/qor_error.txt").c_str(), (m_strDir + "/qor_trace.txt").c_str()));
    }
    m_xchange.setMonofiler(&m_pack);
    qoru_loadJpegPlugin();
    m_pDisp = qor_cDisp::create();
    if (m_pDisp && m_pDisp->init(640, 480, 32, false))
        m_xchange.setDisp(m_pDisp);
    else
    {
        delete m_pDisp;
        m_pDisp = nullptr;
    }
}

Engine::~Engine()
{
    m_pScene.reset();
    m_xchange.setDisp(nullptr);
    delete m_pDisp;
    m_pHandler.reset();
    if (!m_strDir.empty())
    {
        std::remove((m_strDir + "/qor_error.txt").c_str());
        std::remove((m_strDir + "/qor_trace.txt").c_str());
        rmdir(m_strDir.c_str());
    }
}

qor_cScene * Engine::load(const std::string & strPath)
{
    if (!m_pDisp)
    {
        std::fprintf(stderr, "qor-scene: no display could be opened\n");
        return nullptr;
    }
    struct stat st;
    if (stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    {
        std::fprintf(stderr, "qor-scene: %s: not a regular file\n", strPath.c_str());
        return nullptr;
    }
    m_pScene.reset(new qor_cScene);
    if (m_pScene->load(strPath.c_str()))
        return m_pScene.get();
    std::fprintf(stderr, "qor-scene: %s: the scene could not be loaded\n", strPath.c_str());
    std::ifstream log(m_strDir + "/qor_error.txt", std::ios::binary);
    std::string line;
    while (std::getline(log, line))
        if (!line.empty() && line.rfind("-----", 0) != 0 && line.rfind("File \"", 0) != 0 &&
            line.rfind("Date : ", 0) != 0)
            std::fprintf(stderr, "  %s\n", line.c_str());
    return nullptr;
}
} // namespace qor_scene
