// The animation-file writer, read back in sequence as the animation loader reads it: headers,
// then payload fields at the places the format gives them.
#include <gtest/gtest.h>

#include "qor_cS3dWriter.h"
#include "qor_testUtil.h"
#include "tz_cChunkedFile.h"

#include <string>
#include <vector>

namespace
{
qor_sMotKey key(float t, float a, float b = 0, float c = 0, float d = 0)
{
    qor_sMotKey k;
    k.m_fTime = t;
    k.m_afValue[0] = a;
    k.m_afValue[1] = b;
    k.m_afValue[2] = c;
    k.m_afValue[3] = d;
    k.m_afParam[0] = 0.1f;
    k.m_afParam[1] = 0.2f;
    k.m_afParam[2] = 0.3f;
    return k;
}

// Reads n floats; fails the test when the file runs out.
std::vector<float> floats(tz_cChunkedFile & f, int n)
{
    std::vector<float> v;
    for (int i = 0; i < n; ++i)
    {
        float x = 0;
        EXPECT_TRUE(f.readF32(&x));
        v.push_back(x);
    }
    return v;
}

TEST(qor_cMotWriter, EveryFormOfEveryChannelInFileOrder)
{
    qort::TempDir dir;
    const std::string path = dir.file("a.s3d.MOT");
    qor_cMotWriter w;
    w.addCommonInfos(11, 22, 160);
    w.addRawChunk(99, qor_cS3dBytes().u32(7));
    qor_sMotObject o;
    o.m_strName = "box";
    o.m_position = qor_sMotChannel::track(3, {key(0, 1, 2, 3), key(320, 4, 5, 6)});
    o.m_rotation = qor_sMotChannel::constant(0, 0, 0, 1);
    o.m_scale = qor_sMotChannel::track(1, {key(0, 2, 2, 2)});  // K = 1: the value alone
    o.m_roll = qor_sMotChannel::track(2, {key(0, 10), key(160, 20)});
    o.m_fov = qor_sMotChannel::track(1, {key(0, 45), key(160, 50)});
    o.m_visibility = qor_sMotChannel::track(0, {key(5, 1)});  // K = 1 is an ordinary key
    qor_sMotObject empty;
    empty.m_strName = "still";
    w.addObjectsMotions({o, empty});
    ASSERT_TRUE(w.save(path.c_str()));

    tz_cChunkedFile f;
    ASSERT_TRUE(f.open(path.c_str(), "rb"));
    ASSERT_EQ(f.readHeader(), 1u);
    EXPECT_EQ(f.getSize(), 24u);
    uint a, b, c;
    ASSERT_TRUE(f.readU32(&a) && f.readU32(&b) && f.readU32(&c));
    EXPECT_EQ(a, 11u);
    EXPECT_EQ(b, 22u);
    EXPECT_EQ(c, 160u);
    ASSERT_EQ(f.readHeader(), 99u);
    EXPECT_TRUE(f.skipPayload());

    ASSERT_EQ(f.readHeader(), 2u);
    EXPECT_EQ(f.getNbSubChunk(), 2u);
    uint n;
    ASSERT_TRUE(f.readU32(&n));
    EXPECT_EQ(n, 2u);
    f.readHeader();  // the object block
    EXPECT_EQ(f.getNbSubChunk(), 6u);
    char name[128];
    ASSERT_EQ(f.read(name, 128), 128);
    EXPECT_STREQ(name, "box");

    // Position track, kind 3: u16 kind, u32 count, 16-byte keys.
    ASSERT_EQ(f.readHeader(), 6u);
    EXPECT_EQ(f.getSize(), 12u + 6 + 2 * 16);
    uint kind, count;
    ASSERT_TRUE(f.readU16(&kind) && f.readU32(&count));
    EXPECT_EQ(kind, 3u);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(floats(f, 8), (std::vector<float>{0, 1, 2, 3, 320, 4, 5, 6}));
    // Rotation static: x, y, z, w.
    ASSERT_EQ(f.readHeader(), 7u);
    EXPECT_EQ(floats(f, 4), (std::vector<float>{0, 0, 0, 1}));
    // Scale track with one key: three values, no time.
    ASSERT_EQ(f.readHeader(), 10u);
    EXPECT_EQ(f.getSize(), 12u + 6 + 12);
    ASSERT_TRUE(f.readU16(&kind) && f.readU32(&count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(floats(f, 3), (std::vector<float>{2, 2, 2}));
    // Roll track, kind 2: time, value, p1.
    ASSERT_EQ(f.readHeader(), 14u);
    EXPECT_EQ(f.getSize(), 12u + 6 + 2 * 12);
    ASSERT_TRUE(f.readU16(&kind) && f.readU32(&count));
    EXPECT_EQ(kind, 2u);
    EXPECT_EQ(floats(f, 6), (std::vector<float>{0, 10, 0.1f, 160, 20, 0.1f}));
    // Field of view, kind 1: time, value, tension, continuity, bias.
    ASSERT_EQ(f.readHeader(), 12u);
    EXPECT_EQ(f.getSize(), 12u + 6 + 2 * 20);
    ASSERT_TRUE(f.readU16(&kind) && f.readU32(&count));
    EXPECT_EQ(floats(f, 10), (std::vector<float>{0, 45, 0.1f, 0.2f, 0.3f, 160, 50, 0.1f, 0.2f, 0.3f}));
    // Visibility track: one (time, value) key.
    ASSERT_EQ(f.readHeader(), 16u);
    ASSERT_TRUE(f.readU16(&kind) && f.readU32(&count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(floats(f, 2), (std::vector<float>{5, 1}));

    // The second object: six sub-chunks of identifier 0, no payload.
    f.readHeader();
    ASSERT_EQ(f.read(name, 128), 128);
    EXPECT_STREQ(name, "still");
    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ(f.readHeader(), 0u);
        EXPECT_TRUE(f.hasHeader());
        EXPECT_EQ(f.getSize(), 12u);
    }
    EXPECT_EQ(f.readHeader(), 0u);
    EXPECT_FALSE(f.hasHeader());
}

TEST(qor_cMotWriter, RotationKeysOfEachKind)
{
    // Kind 1: 32 bytes (time, x, y, z, w, three parameters); kind 3: 20 bytes.
    struct Case
    {
        uint m_nKind;
        size_t m_nPayload;
    };
    for (const Case & c : {Case{1, 6 + 2 * 32}, Case{3, 6 + 2 * 20}})
    {
        qor_sMotChannel ch = qor_sMotChannel::track(c.m_nKind, {key(0, 0, 0, 0, 1), key(10, 1, 0, 0, 0)});
        EXPECT_EQ(qor_cMotWriter::channelID(qor_cMotWriter::e_rotation, ch), 8u);
        EXPECT_EQ(qor_cMotWriter::channelPayload(qor_cMotWriter::e_rotation, ch).size(), c.m_nPayload);
    }
    qor_sMotChannel forced = qor_sMotChannel::constant(1, 2, 3);
    forced.m_nID = 42;
    EXPECT_EQ(qor_cMotWriter::channelID(qor_cMotWriter::e_position, forced), 42u);
}

TEST(qor_cS3dWriter, NamesFillTheirFieldAndLongerOnesAreCut)
{
    EXPECT_EQ(qor_cS3dBytes().name("abc").size(), 64u);
    const std::vector<uchar> full = qor_cS3dBytes().name(std::string(64, 'x')).data();
    EXPECT_EQ(full.back(), 'x');  // no NUL
    const std::vector<uchar> cut = qor_cS3dBytes().name(std::string(80, 'y'), 128).data();
    EXPECT_EQ(cut.size(), 128u);
    EXPECT_EQ(cut[79], 'y');
    EXPECT_EQ(cut[80], 0);
}

TEST(qor_cS3dWriter, SavesTheTableItBuilt)
{
    qort::TempDir dir;
    qor_cS3dWriter w;
    w.addGlobalInfos(qor_cColor(1, 0, 0, 1), qor_cColor(0, 0, 1, 1));
    ASSERT_TRUE(w.save(dir.file("s.s3d").c_str()));
    const std::vector<unsigned char> bytes = qort::readBytes(dir.file("s.s3d"));
    // 16 + 8 + 32 bytes; magic, signature, version 276, one chunk 0xDEAD0017 of 32 bytes.
    ASSERT_EQ(bytes.size(), 56u);
    const std::vector<unsigned char> head(bytes.begin(), bytes.begin() + 24);
    EXPECT_EQ(head, (std::vector<unsigned char>{0x07, 0xA0, 0xAF, 0x0C, 0xAD, 0xDE, 0xD0, 0x03, 0x14, 1, 0, 0,
                                                1,    0,    0,    0,    0x17, 0,    0xAD, 0xDE, 32,   0, 0, 0}));
}
} // namespace
