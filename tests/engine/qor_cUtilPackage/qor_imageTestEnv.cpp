#include "qor_imageTestEnv.h"

#include "qor_cMonofiler.h"

#include <sys/stat.h>

#include <cstdlib>

namespace qort
{
namespace
{
// One display for the whole program: creating GL contexts again and again is slow on the
// software rasteriser and gains nothing.
qor_cDisp * s_pDisp = nullptr;
} // namespace

struct ImageTestEnvGlobals
{
    qor_cXChange xchange;
    qor_cMonofiler pack;
};
static ImageTestEnvGlobals * s_pGlobals = nullptr;

namespace
{
// The display (and its GL context) goes before the program ends, the directory after it.
class ImageEnvironment : public ::testing::Environment
{
public:
    void TearDown() override
    {
        delete s_pDisp;
        s_pDisp = nullptr;
        delete s_pGlobals;
        s_pGlobals = nullptr;

    }
};
const ::testing::Environment * s_pEnv = ::testing::AddGlobalTestEnvironment(new ImageEnvironment);
} // namespace

void ImageTestEnv::SetUp()
{
    if (!s_pGlobals)
        s_pGlobals = new ImageTestEnvGlobals;
    ASSERT_TRUE(qoru_loadJpegPlugin());
    if (!s_pDisp)
    {
        s_pDisp = qor_cDisp::create();
        ASSERT_NE(s_pDisp, nullptr);
        ASSERT_TRUE(s_pDisp->init(640, 480, 32, false));
    }
    // An empty pack: every file comes from the disk of the working folder.
    s_pGlobals->xchange.setMonofiler(&s_pGlobals->pack);
    s_pGlobals->xchange.setDisp(s_pDisp);
    s_pDisp->initRenderStates();
    s_pDisp->setFogMode(0);
    m_pChdir.reset(new ScopedChdir(m_dir.path()));
    mkdir("maps", 0755);
    m_pQuad.reset(qor_cTriList::create());
    ASSERT_NE(m_pQuad, nullptr);
}

void ImageTestEnv::TearDown()
{
    setPack(nullptr);
    m_pQuad.reset();
    m_pChdir.reset();
}

void ImageTestEnv::setPack(qor_cMonofiler * pPack)
{
    s_pGlobals->xchange.setMonofiler(pPack ? pPack : &s_pGlobals->pack);
}

std::string ImageTestEnv::imagePath(const std::string & stem) const
{
    return "maps/" + stem + ".jpg";
}

bool ImageTestEnv::writeFile(const std::string & name, const std::vector<unsigned char> & bytes)
{
    // The engine names files with "\" as the folder separator; the disk reader takes them as
    // they are, so each file is written under both spellings.
    std::string alt = name;
    for (char & c : alt)
        if (c == '/')
            c = '\\';
    bool b = writeBytes(m_dir.file(name), bytes.data(), bytes.size());
    return writeBytes(m_dir.file(alt), bytes.data(), bytes.size()) && b;
}

bool ImageTestEnv::writeImage(const std::string & stem, int w, int h, const std::vector<unsigned char> & rgb,
                              bool progressive)
{
    std::vector<unsigned char> bytes = encodeJpeg(w, h, rgb, 100, progressive);
    return !bytes.empty() && writeFile(imagePath(stem), bytes);
}

bool ImageTestEnv::writeRaw(const std::string & stem, const std::vector<unsigned char> & bytes)
{
    return writeFile(imagePath(stem), bytes);
}

std::vector<Rgba> ImageTestEnv::decode(const std::string & stem)
{
    // libjpeg-turbo in the test itself, not the engine's JPEG module.
    const std::vector<unsigned char> rgb = decodeJpeg(m_dir.file(imagePath(stem)));
    EXPECT_FALSE(rgb.empty()) << stem;
    std::vector<Rgba> out(rgb.size() / 3);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 255};
    return out;
}

void ImageTestEnv::setFlatState()
{
    qor_cDisp * d = disp();
    d->enableLighting(false);
    d->enableBlending(false);
    d->setBlendMode(1, 0);
    d->setZFunc(7);
    d->enableZWrite(false);
    d->setCullMode(0);
    d->setTexCoordGen(0, 5);
    d->disableTexTransform(0);
    d->setTexFilter(0, 2, 0);
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_diffuse);
    d->setTexModeAlpha(0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_diffuse);
    d->setTexMode(1, qorrs_texarg_current, qorrs_texop_disable, qorrs_texarg_current);
}

void ImageTestEnv::drawQuad(float x, float y, float w, float h, uchar r, uchar g, uchar b, uchar a, float u0,
                            float v0, float u1, float v1)
{
    m_pQuad->startAdd(2, 0);
    const float aV[6][4] = {{x, y, u0, v0},         {x + w, y + h, u1, v1}, {x + w, y, u1, v0},
                            {x + w, y + h, u1, v1}, {x, y, u0, v0},         {x, y + h, u0, v1}};
    for (const auto & v : aV)
    {
        m_pQuad->setPositionRHW(v[0], v[1], 1.0f, 1.0f);
        m_pQuad->setColor(r, g, b, a);
        m_pQuad->setUV(v[2], v[3]);
        m_pQuad->next();
    }
    m_pQuad->endAdd();
    m_pQuad->draw();
}

void ImageTestEnv::clear(int r, int g, int b)
{
    disp()->setClearColor(r / 255.0f, g / 255.0f, b / 255.0f);
    disp()->clear(3);
}

std::vector<Rgba> ImageTestEnv::readFrame()
{
    std::vector<uint8_t> bytes;
    int w = 0, h = 0;
    EXPECT_TRUE(disp()->readPixels(bytes, w, h));
    std::vector<Rgba> out((size_t)640 * 480, Rgba{-1, -1, -1, -1});
    if (w != 640 || h != 480 || bytes.size() < out.size() * 4)
    {
        ADD_FAILURE() << "frame of " << w << " x " << h;
        return out;
    }
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = {bytes[4 * i + 2], bytes[4 * i + 1], bytes[4 * i], bytes[4 * i + 3]};
    return out;
}

std::vector<Rgba> ImageTestEnv::readTexture(qor_hTexture handle, int w, int h)
{
    setFlatState();
    disp()->setTexture(0, handle);
    // Colour: the texels as they are. Pixel centres sit on integer coordinates: the quad starts
    // half a pixel up and left so that each centre meets a texel centre.
    clear(0, 0, 0);
    drawQuad(-0.5f, -0.5f, (float)w, (float)h);
    std::vector<Rgba> colour = readFrame();
    // Alpha: white vertices scaled by the texel alpha over black.
    disp()->setTexMode(0, qorrs_texarg_diffuse, qorrs_texop_selectarg1, qorrs_texarg_texture);
    disp()->enableBlending(true);
    disp()->setBlendMode(4, 0);
    clear(0, 0, 0);
    drawQuad(-0.5f, -0.5f, (float)w, (float)h);
    std::vector<Rgba> alpha = readFrame();
    setFlatState();
    std::vector<Rgba> out((size_t)w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            Rgba c = pixel(colour, x, y);
            c.a = pixel(alpha, x, y).r;
            out[(size_t)y * w + x] = c;
        }
    return out;
}

Rgba ImageTestEnv::drawCubeFacingCamera(qor_hTexture hCube)
{
    setFlatState();
    qor_cMatrix identity;
    disp()->setMatrix(qorrs_ts_world, &identity);
    disp()->setMatrix(qorrs_ts_view, &identity);
    disp()->setMatrix(qorrs_ts_projection, &identity);
    EXPECT_TRUE(disp()->setTexture(0, hCube));
    std::unique_ptr<qor_cTriList> pList(qor_cTriList::create());
    pList->startAdd(2, 1);
    const float aV[6][2] = {{-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}, {0.5f, -0.5f}, {-0.5f, -0.5f}, {-0.5f, 0.5f}};
    for (const auto & v : aV)
    {
        pList->setPosition(v[0], v[1], 0.5f);
        pList->setNormal(0, 0, -1);
        pList->setUV(0, 0);
        pList->next();
    }
    pList->endAdd();
    clear(0, 0, 0);
    pList->draw();
    Rgba c = pixel(readFrame(), 320, 240);
    disp()->setTexture(0, QOR_NULL_TEXTURE);
    disp()->setTexCoordGen(0, 5);
    return c;
}
} // namespace qort
