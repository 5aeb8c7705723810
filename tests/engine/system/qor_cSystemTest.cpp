#include <gtest/gtest.h>

#include "qor_cSDL.h"
#include "qor_cSystem.h"
#include "qor_testUtil.h"

#include <SDL.h>

#include <vector>

namespace
{
std::vector<std::pair<int, float>> s_calls;
void record(int iElapsed, float fRatio) { s_calls.emplace_back(iElapsed, fRatio); }

uint32_t s_uFakeTicks = 0;
uint32_t fakeTicks() { return s_uFakeTicks; }

void pushKey(Uint32 uType, SDL_Scancode eCode, Uint32 uWindowID)
{
    SDL_Event event{};
    event.type = uType;
    event.key.windowID = uWindowID;
    event.key.keysym.scancode = eCode;
    event.key.keysym.sym = SDL_GetKeyFromScancode(eCode);
    SDL_PushEvent(&event);
}

void pushWindowEvent(Uint8 uEvent, Uint32 uWindowID)
{
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = uEvent;
    event.window.windowID = uWindowID;
    SDL_PushEvent(&event);
}

class WindowSystem : public ::testing::Test
{
protected:
    void SetUp() override
    {
        s_calls.clear();
        m_pSystem = new qor_cSystemSDL(m_dir.file("system.log").c_str());
        ASSERT_TRUE(qor_cSystemSDL::isInitialised());
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    void TearDown() override
    {
        delete m_pSystem;
        qor_cTimeCounterSDL::setTickSource(nullptr);
    }
    // Creating and showing windows queues events of their own; tests start from an empty queue.
    static void drain()
    {
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    // Calls processMessages until every queued event (the pushed one and whatever the driver
    // adds meanwhile) has been handed over.
    void processAll()
    {
        for (int i = 0; i < 100 && SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0; ++i)
            m_pSystem->processMessages();
    }
    qor_cWindowSDL * window(int iID) { return static_cast<qor_cWindowSDL *>(m_pSystem->getWindow(iID)); }
    std::string log() { return qort::readText(m_dir.file("system.log")); }

    qort::TempDir m_dir;
    qor_cSystemSDL * m_pSystem = nullptr;
};
} // namespace

TEST_F(WindowSystem, EscapeReleaseClosesTheWindowAndRequestsQuit)
{
    const int iID = m_pSystem->createWindow("show", true);
    ASSERT_EQ(iID, 1);
    EXPECT_STREQ(m_pSystem->getWindow(iID)->getName(), "show");
    EXPECT_EQ(qoru_getActiveSDLWindow(), window(iID)->getSDLWindow());
    const Uint32 uSDLID = window(iID)->getSDLWindowID();
    drain();

    pushKey(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, uSDLID);
    processAll();
    EXPECT_FALSE(m_pSystem->isQuitRequested()) << "pressing Escape alone does nothing";
    EXPECT_NE(m_pSystem->getWindow(iID), nullptr);

    pushKey(SDL_KEYUP, SDL_SCANCODE_ESCAPE, uSDLID);
    processAll();
    EXPECT_TRUE(m_pSystem->isQuitRequested());
    EXPECT_EQ(m_pSystem->getWindow(iID), nullptr) << "onClose -> onDestroy -> removeWindow";
    EXPECT_EQ(qoru_getActiveSDLWindow(), nullptr);
}

TEST_F(WindowSystem, CloseEventOfOneOfTwoWindowsDoesNotQuit)
{
    const int iA = m_pSystem->createWindow("a", false);
    const int iB = m_pSystem->createWindow("b", false);
    EXPECT_EQ(iB, iA + 1);
    drain();
    pushWindowEvent(SDL_WINDOWEVENT_CLOSE, window(iA)->getSDLWindowID());
    processAll();
    EXPECT_EQ(m_pSystem->getWindow(iA), nullptr);
    EXPECT_FALSE(m_pSystem->isQuitRequested());
    EXPECT_EQ(m_pSystem->getLastWindow(), m_pSystem->getWindow(iB));
    pushWindowEvent(SDL_WINDOWEVENT_CLOSE, window(iB)->getSDLWindowID());
    processAll();
    EXPECT_TRUE(m_pSystem->isQuitRequested());
    EXPECT_EQ(m_pSystem->getLastWindow(), nullptr);
}

TEST_F(WindowSystem, OneEventPerCallAndUnknownWindowsIgnored)
{
    const int iA = m_pSystem->createWindow("a", true);
    const Uint32 uSDLID = window(iA)->getSDLWindowID();
    drain();
    drain();
    pushKey(SDL_KEYUP, SDL_SCANCODE_ESCAPE, uSDLID + 100); // no such window
    pushKey(SDL_KEYUP, SDL_SCANCODE_ESCAPE, uSDLID);
    m_pSystem->processMessages();
    EXPECT_FALSE(m_pSystem->isQuitRequested()) << "the second event waits for the next call";
    m_pSystem->processMessages();
    EXPECT_TRUE(m_pSystem->isQuitRequested());
}

TEST_F(WindowSystem, RemoveUnknownWindowFailsAndLogsItsId)
{
    m_pSystem->createWindow("a", false);
    EXPECT_FALSE(m_pSystem->removeWindow(0x2A));
    EXPECT_FALSE(m_pSystem->removeTimer(7));
    EXPECT_NE(m_pSystem->getWindow(1), nullptr);
    EXPECT_EQ(log(), "qor_cSystemWin32::removeWindow() : Window with ID 0x2A doesn't exist\n"
                     "qor_cSystemWin32::removeTimer() : Timer with ID 0x7 doesn't exist\n");
}

TEST_F(WindowSystem, ASecondSystemLeavesTheFirstInCharge)
{
    qort::TempDir dir;
    {
        qor_cSystemSDL second(dir.file("second.log").c_str());
        EXPECT_EQ(qor_cSystem::getInstance(), m_pSystem);
        EXPECT_EQ(qort::readText(dir.file("second.log")),
                  "qor_cSystemWin32::qor_cSystemWin32() : Can't create more than 2 instances of qor_cSystem.\n");
    }
    EXPECT_EQ(qor_cSystem::getInstance(), m_pSystem);
    EXPECT_TRUE(qor_cSystemSDL::isInitialised()) << "destroying the second one releases nothing";
}

TEST_F(WindowSystem, ShowCommandsKeepTheirIntegers)
{
    qor_cWindowSDL * pWindow = window(m_pSystem->createWindow("w", true));
    EXPECT_EQ(pWindow->getShowCommand(), 5);
    EXPECT_TRUE(pWindow->show(false));
    EXPECT_EQ(pWindow->getShowCommand(), 0);
    pWindow->show(true);
    EXPECT_TRUE(pWindow->minimize());
    EXPECT_EQ(pWindow->getShowCommand(), 6);
    EXPECT_TRUE(pWindow->isMinimized());
    pWindow->show(false);
    pWindow->show(true);
    EXPECT_TRUE(pWindow->maximize());
    EXPECT_EQ(pWindow->getShowCommand(), 3);
    EXPECT_TRUE(pWindow->isMaximized());
    EXPECT_FALSE(pWindow->isMinimized());
    EXPECT_TRUE(pWindow->setGeometry(32, 32, 640, 480));
    EXPECT_FALSE(pWindow->isMaximized());
    EXPECT_EQ(pWindow->getX(), 32);
    EXPECT_EQ(pWindow->getWidth(), 640);
    EXPECT_EQ(pWindow->getHeight(), 480);
    EXPECT_TRUE(pWindow->setName(nullptr));
    EXPECT_STREQ(pWindow->getName(), "w");
}

TEST_F(WindowSystem, WindowWithoutSystemHasNoHandleAndRefusesEverything)
{
    delete m_pSystem;
    m_pSystem = nullptr;
    qor_cWindowSDL none("y", true);
    EXPECT_EQ(none.getSDLWindow(), nullptr);
    EXPECT_FALSE(none.show(true));
    EXPECT_FALSE(none.setGeometry(0, 0, 10, 10));
    EXPECT_FALSE(none.minimize());
    EXPECT_FALSE(none.maximize());
    EXPECT_FALSE(none.toForeground());
    EXPECT_FALSE(none.setName("z"));
    EXPECT_EQ(none.getWidth(), 0);
    m_pSystem = new qor_cSystemSDL();
}

TEST_F(WindowSystem, TimersFireOnTheSharedCounterWithTheirRatio)
{
    qor_cTimeCounterSDL::setTickSource(&fakeTicks);
    s_uFakeTicks = 1000;
    const int iID = m_pSystem->createTimer(100, &record);
    ASSERT_EQ(s_calls.size(), 1u) << "createTimer calls the callback once at once";
    EXPECT_EQ(s_calls[0], std::make_pair(0, 1.0f));
    m_pSystem->processMessages(); // creates the shared counter at 1000
    EXPECT_EQ(s_calls.size(), 1u);
    s_uFakeTicks = 1097; // 97 + 2 < 100: not yet
    m_pSystem->processMessages();
    EXPECT_EQ(s_calls.size(), 1u);
    s_uFakeTicks = 1098; // 100 <= 98 + 2
    m_pSystem->processMessages();
    ASSERT_EQ(s_calls.size(), 2u);
    EXPECT_EQ(s_calls[1].first, 98);
    EXPECT_FLOAT_EQ(s_calls[1].second, 0.98f);
    s_uFakeTicks = 1348; // the counter restarted at 1098
    m_pSystem->processMessages();
    ASSERT_EQ(s_calls.size(), 3u);
    EXPECT_EQ(s_calls[2].first, 250);
    EXPECT_FLOAT_EQ(s_calls[2].second, 2.5f);
    EXPECT_TRUE(m_pSystem->removeTimer(iID));
    EXPECT_EQ(m_pSystem->getLastTimer(), nullptr);
}

TEST_F(WindowSystem, PeriodZeroFiresOnEveryCallWithRatioOne)
{
    qor_cTimeCounterSDL::setTickSource(&fakeTicks);
    s_uFakeTicks = 5;
    m_pSystem->createTimer(0, &record);
    for (int i = 0; i < 3; ++i)
        m_pSystem->processMessages();
    ASSERT_EQ(s_calls.size(), 4u);
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(s_calls[i], std::make_pair(0, 1.0f));
    EXPECT_EQ(m_pSystem->createTimer(50, nullptr), 2) << "ids count up; a null callback is allowed";
    EXPECT_EQ(s_calls.size(), 4u);
}

TEST(qor_cTimeCounterSDL, ElapsedSurvivesTheTickWrap)
{
    qor_cTimeCounterSDL::setTickSource(&fakeTicks);
    s_uFakeTicks = 0xFFFFFFF0u;
    qor_cTimeCounterSDL counter;
    s_uFakeTicks = 0x10;
    EXPECT_EQ(counter.getElapsed(), 0x20);
    counter.restart();
    EXPECT_EQ(counter.getElapsed(), 0);
    qor_cTimeCounterSDL::setTickSource(nullptr);
}
