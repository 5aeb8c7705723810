#include <gtest/gtest.h>

#include "qor_cKeyb.h"

#include <SDL.h>

#include <map>
#include <vector>

TEST(qor_cKeybSDL, MapsTheWholeKeyboardToDirectInputCodes)
{
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_LEFT), 203);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_RIGHT), 205);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_UP), 200);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_DOWN), 208);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_SPACE), 57);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_ESCAPE), 1);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_A), 0x1E);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_M), 0x32);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_F12), 0x58);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_KP_ENTER), 0x9C);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_RCTRL), 0x9D);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_DELETE), 0xD3);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(-1), 0);
    EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_NUM_SCANCODES), 0);

    // Letters and digits run in the keyboard's row order, and no two keys share a code
    // (except Print Screen and SysRq, one key on a PC keyboard).
    const SDL_Scancode aeTopRow[] = {SDL_SCANCODE_Q, SDL_SCANCODE_W, SDL_SCANCODE_E, SDL_SCANCODE_R, SDL_SCANCODE_T,
                                     SDL_SCANCODE_Y, SDL_SCANCODE_U, SDL_SCANCODE_I, SDL_SCANCODE_O, SDL_SCANCODE_P};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(qor_cKeybSDL::scancodeToDik(aeTopRow[i]), 0x10 + i);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(qor_cKeybSDL::scancodeToDik(SDL_SCANCODE_1 + i), 0x02 + i);
    std::map<int, int> owners;
    int nMapped = 0;
    for (int i = 0; i < SDL_NUM_SCANCODES; ++i)
        if (const int dik = qor_cKeybSDL::scancodeToDik(i))
        {
            ++nMapped;
            if (owners.count(dik) && !(dik == 0xB7))
                ADD_FAILURE() << "code " << dik << " used by scancodes " << owners[dik] << " and " << i;
            owners[dik] = i;
        }
    EXPECT_GT(nMapped, 120);
}

TEST(qor_cKeybSDL, StateIsALevelKeptWhileUnfocused)
{
    qor_cKeybSDL keyb;
    EXPECT_EQ(qor_cKeyb::getCurrent(), &keyb);
    for (uint i = 0; i < 256; ++i)
        ASSERT_FALSE(keyb.isKeyDown(i)) << "every key is up before the first update";
    EXPECT_FALSE(keyb.isKeyDown(1000));

    std::vector<uint8_t> state(SDL_NUM_SCANCODES, 0);
    state[SDL_SCANCODE_SPACE] = 1;
    state[SDL_SCANCODE_LEFT] = 1;
    for (int frame = 0; frame < 3; ++frame)
    {
        keyb.updateFrom(state.data(), static_cast<int>(state.size()), true);
        EXPECT_TRUE(keyb.isKeyDown(57)) << "held Space tests down in frame " << frame;
        EXPECT_EQ(keyb.getState()[57], 0x80);
    }
    EXPECT_TRUE(keyb.isKeyDown(203));
    EXPECT_FALSE(keyb.isKeyDown(205));

    std::vector<uint8_t> released(SDL_NUM_SCANCODES, 0);
    keyb.updateFrom(released.data(), static_cast<int>(released.size()), false);
    EXPECT_TRUE(keyb.isKeyDown(57)) << "without focus the last state stays";
    keyb.updateFrom(released.data(), static_cast<int>(released.size()), true);
    EXPECT_FALSE(keyb.isKeyDown(57));
    EXPECT_FALSE(keyb.isKeyDown(203));
}

TEST(qor_cKeyb, LastConstructedIsCurrentUntilDestroyed)
{
    qor_cKeybSDL first;
    {
        qor_cKeybSDL second;
        EXPECT_EQ(qor_cKeyb::getCurrent(), &second);
    }
    EXPECT_EQ(qor_cKeyb::getCurrent(), nullptr);
}
