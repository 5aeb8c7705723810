// The applications in-process: start-up, the frame loop's end on Escape, orderly destruction.
#include <gtest/gtest.h>

#include "qor_cDisp.h"
#include "qor_cKeyb.h"
#include "qor_cLayerViewer.h"
#include "qor_cSceneViewer.h"
#include "qor_cXChange.h"
#include "qor_testUtil.h"

#include <SDL.h>

TEST(qor_cLayerViewer, EscapeReleasedEndsTheLoopAndDestructionClearsEveryService)
{
    qort::TempDir dir;
    qort::ScopedChdir cd(dir.path());
    qor_cApplication::setFrameLimit(2000); // a safety net: Escape must end it long before
    {
        qor_cLayerViewer viewer;
        ASSERT_TRUE(viewer.init());
        EXPECT_EQ(QOR_XCHANGE()->getMonofiler(), viewer.getPack());
        EXPECT_EQ(QOR_DISP(), viewer.getDisp());
        EXPECT_EQ(qor_cKeyb::getCurrent(), viewer.getKeyb());
        qor_cWindowSDL * pWindow = static_cast<qor_cWindowSDL *>(viewer.getLastWindow());
        ASSERT_NE(pWindow, nullptr);
        EXPECT_STREQ(pWindow->getName(), "qor_cWindow");
        EXPECT_EQ(pWindow->getWidth(), 640);
        EXPECT_EQ(pWindow->getHeight(), 480);

        SDL_Event event{};
        event.type = SDL_KEYUP;
        event.key.windowID = pWindow->getSDLWindowID();
        event.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
        event.key.keysym.sym = SDLK_ESCAPE;
        SDL_PushEvent(&event);
        viewer.run();
        EXPECT_TRUE(viewer.isQuitRequested());
        EXPECT_LT(qor_cApplication::getFrameCount(), 2000);
        EXPECT_EQ(viewer.getLastWindow(), nullptr);
        viewer.release();
    }
    EXPECT_EQ(QOR_XCHANGE(), nullptr);
    EXPECT_EQ(qor_cKeyb::getCurrent(), nullptr);
    EXPECT_EQ(qor_cSystem::getInstance(), nullptr);
    qor_cApplication::setFrameLimit(0);
}

TEST(qor_cSceneViewer, FrameLimitEndsTheRunAndTheLogsStayBehind)
{
    qort::TempDir dir;
    qort::ScopedChdir cd(dir.path());
    qor_cApplication::setFrameLimit(4);
    {
        qor_cSceneViewer viewer;
        ASSERT_TRUE(viewer.init());
        viewer.run();
        EXPECT_EQ(qor_cApplication::getFrameCount(), 4);
        viewer.release();
    }
    EXPECT_TRUE(qort::fileExists(dir.file("qor_error.txt")));
    EXPECT_TRUE(qort::fileExists(dir.file("qor_trace.txt")));
    qor_cApplication::setFrameLimit(0);
}
