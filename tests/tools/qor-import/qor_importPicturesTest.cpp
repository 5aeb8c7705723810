// Models written here by hand (glTF, OBJ, COLLADA), put through qor-import and drawn by
// qor-scene render: what the pictures must show follows from the models' geometry and the
// lighting rule, not from what the importer writes.
//
// The cube spans -1 .. 1 on every axis, its faces wound counter-clockwise seen from outside (the
// formats' rule); its camera stands at (0, 0, 6) looking down -z, so the face z = 1 fills the
// middle of the picture. Lighting (Direct3D's, per vertex, no attenuation): a white material of
// diffuse and ambient 0.8 under a scene ambient of 0.25 gives 0.8 * 0.25 = 0.2 (51 of 255) with
// no light on the face, and 0.2 + 0.8 * cos(angle) at a corner with one. A light at (3, 0, 6),
// beside the eye, meets the corners (1, y, 1) at cos = 5 / sqrt(30) = 0.913 and (-1, y, 1) at
// 5 / sqrt(42) = 0.772; the middle of the picture lies on the diagonal from (-1, -1, 1) to
// (1, 1, 1), halfway: 0.2 + 0.8 * 0.842 = 0.874 (223). A light at (0, 0, -6), behind the cube,
// reaches no outer face the camera sees. A cube drawn inside out shows instead the inner side of
// its far face, whose outward normal points away from the eye: lit from behind, dark from the
// front, the other way round.
#include <gtest/gtest.h>

#include "qor_testUtil.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace
{
std::string importer() { return qort::binDir() + "/qor-import"; }
std::string scene() { return qort::binDir() + "/qor-scene"; }

// The viewer's frame: 640 x 480, 4:3 like the engine's projection.
constexpr int kW = 640, kH = 480;

struct Picture
{
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    int grey(int x, int y) const
    {
        const unsigned char * p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
        return (p[0] + p[1] + p[2]) / 3;
    }
};

bool readPng(const std::string & path, Picture * pOut)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    pOut->w = int(image.width);
    pOut->h = int(image.height);
    pOut->rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, pOut->rgb.data(), 0, nullptr);
}

struct V3
{
    float x, y, z;
};

// Triangles: three corners each, and per corner its normal.
struct Mesh
{
    std::vector<V3> m_pos;
    std::vector<V3> m_normal;
};

// The cube's 12 triangles, counter-clockwise seen from outside: per face its outward axis and
// two in-plane axes u, v with u x v = the outward normal, corners c - u - v, c + u - v, c + u + v
// and c - u - v, c + u + v, c - u + v.
Mesh cubeTriangles()
{
    const V3 faces[6][3] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},  {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
        {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}, {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
    };
    Mesh out;
    for (const auto & f : faces)
    {
        auto at = [&](float a, float b) {
            return V3{f[0].x + a * f[1].x + b * f[2].x, f[0].y + a * f[1].y + b * f[2].y,
                      f[0].z + a * f[1].z + b * f[2].z};
        };
        for (const V3 & p : {at(-1, -1), at(1, -1), at(1, 1), at(-1, -1), at(1, 1), at(-1, 1)})
        {
            out.m_pos.push_back(p);
            out.m_normal.push_back(f[0]);
        }
    }
    return out;
}

// A rectangle in the plane z = fZ, counter-clockwise seen from +z.
Mesh rectangle(float fX0, float fY0, float fX1, float fY1, float fZ)
{
    return {{{fX0, fY0, fZ}, {fX1, fY0, fZ}, {fX1, fY1, fZ}, {fX0, fY0, fZ}, {fX1, fY1, fZ}, {fX0, fY1, fZ}},
            std::vector<V3>(6, V3{0, 0, 1})};
}

std::string base64(const std::string & in)
{
    static const char * s_sz = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < in.size(); i += 3)
    {
        uint32_t n = uint32_t(uint8_t(in[i])) << 16;
        if (i + 1 < in.size())
            n |= uint32_t(uint8_t(in[i + 1])) << 8;
        if (i + 2 < in.size())
            n |= uint8_t(in[i + 2]);
        out += s_sz[(n >> 18) & 63];
        out += s_sz[(n >> 12) & 63];
        out += i + 1 < in.size() ? s_sz[(n >> 6) & 63] : '=';
        out += i + 2 < in.size() ? s_sz[n & 63] : '=';
    }
    return out;
}

std::string num(float f)
{
    char sz[32];
    std::snprintf(sz, sizeof(sz), "%g", double(f));
    return sz;
}

std::string vec(const V3 & v) { return "[" + num(v.x) + "," + num(v.y) + "," + num(v.z) + "]"; }

// A glTF file: one mesh per triangle list (each its own node at the origin), a perspective
// camera at camera position (looking down -z), optionally a node "Camera.Target" at a point,
// and a point light.
struct GltfScene
{
    std::vector<Mesh> m_meshes;
    V3 m_camera{0, 0, 6};
    bool m_bRolled = false; // the camera turned a quarter about its view axis
    float m_fYFov = 0.8f;
    bool m_bTarget = false;
    V3 m_target{0, 0, 0};
    V3 m_light{3, 0, 6};

    std::string json() const
    {
        std::string bin, views, accessors, meshes, nodes;
        for (size_t m = 0; m < m_meshes.size(); ++m)
        {
            const std::string sep = m ? "," : "";
            for (int a = 0; a < 2; ++a)
            {
                const std::vector<V3> & v = a ? m_meshes[m].m_normal : m_meshes[m].m_pos;
                const size_t nOffset = bin.size();
                bin.append(reinterpret_cast<const char *>(v.data()), v.size() * sizeof(V3));
                V3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
                for (const V3 & p : v)
                {
                    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
                    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
                }
                views += (m || a ? "," : "") + std::string("{\"buffer\":0,\"byteOffset\":") + std::to_string(nOffset) +
                         ",\"byteLength\":" + std::to_string(v.size() * sizeof(V3)) + "}";
                accessors += (m || a ? "," : "") + std::string("{\"bufferView\":") + std::to_string(2 * m + size_t(a)) +
                             ",\"componentType\":5126,\"count\":" + std::to_string(v.size()) +
                             ",\"type\":\"VEC3\",\"min\":" + vec(lo) + ",\"max\":" + vec(hi) + "}";
            }
            meshes += sep + "{\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(2 * m) +
                      ",\"NORMAL\":" + std::to_string(2 * m + 1) + "},\"material\":0}]}";
            nodes += sep + "{\"name\":\"mesh" + std::to_string(m) + "\",\"mesh\":" + std::to_string(m) + "}";
        }
        const size_t nCamera = m_meshes.size();
        nodes += ",{\"name\":\"Camera\",\"camera\":0,\"translation\":" + vec(m_camera) +
                 (m_bRolled ? ",\"rotation\":[0,0,0.70710678,0.70710678]" : "") + "}";
        nodes += ",{\"name\":\"Lamp\",\"translation\":" + vec(m_light) +
                 ",\"extensions\":{\"KHR_lights_punctual\":{\"light\":0}}}";
        std::string roots;
        for (size_t i = 0; i < nCamera + 2; ++i)
            roots += (i ? "," : "") + std::to_string(i);
        if (m_bTarget)
        {
            nodes += ",{\"name\":\"Camera.Target\",\"translation\":" + vec(m_target) + "}";
            roots += "," + std::to_string(nCamera + 2);
        }
        return "{\"asset\":{\"version\":\"2.0\"},\"extensionsUsed\":[\"KHR_lights_punctual\"],\"scene\":0,"
               "\"scenes\":[{\"nodes\":[" +
               roots + "]}],\"nodes\":[" + nodes + "],\"meshes\":[" + meshes +
               "],\"materials\":[{\"name\":\"white\",\"pbrMetallicRoughness\":{\"baseColorFactor\":[0.8,0.8,0.8,1],"
               "\"metallicFactor\":0,\"roughnessFactor\":1}}],"
               "\"cameras\":[{\"type\":\"perspective\",\"perspective\":{\"yfov\":" +
               num(m_fYFov) +
               ",\"aspectRatio\":1.3333334,\"znear\":0.5,\"zfar\":100}}],"
               "\"extensions\":{\"KHR_lights_punctual\":{\"lights\":[{\"type\":\"point\",\"color\":[1,1,1],"
               "\"intensity\":1,\"range\":40}]}},"
               "\"accessors\":[" +
               accessors + "],\"bufferViews\":[" + views +
               "],\"buffers\":[{\"byteLength\":" + std::to_string(bin.size()) +
               ",\"uri\":\"data:application/octet-stream;base64," + base64(bin) + "\"}]}";
    }
};

std::string obj(const Mesh & tris)
{
    std::string s = "mtllib cube.mtl\nusemtl white\n";
    for (size_t i = 0; i < tris.m_pos.size(); ++i)
    {
        const V3 & p = tris.m_pos[i];
        const V3 & n = tris.m_normal[i];
        s += "v " + num(p.x) + " " + num(p.y) + " " + num(p.z) + "\nvn " + num(n.x) + " " + num(n.y) + " " + num(n.z) +
             "\n";
    }
    for (size_t i = 1; i <= tris.m_pos.size(); i += 3)
        s += "f " + std::to_string(i) + "//" + std::to_string(i) + " " + std::to_string(i + 1) + "//" +
             std::to_string(i + 1) + " " + std::to_string(i + 2) + "//" + std::to_string(i + 2) + "\n";
    return s;
}

// COLLADA 1.4, y up: the cube, a camera (its yfov in degrees) and a point light, each placed by
// a translation.
std::string collada(const Mesh & mesh, const V3 & camera, const V3 & light)
{
    std::string pos, nrm, idx;
    for (size_t i = 0; i < mesh.m_pos.size(); ++i)
    {
        const V3 & p = mesh.m_pos[i];
        const V3 & n = mesh.m_normal[i];
        pos += num(p.x) + " " + num(p.y) + " " + num(p.z) + " ";
        nrm += num(n.x) + " " + num(n.y) + " " + num(n.z) + " ";
        idx += std::to_string(i) + " ";
    }
    const std::vector<V3> & tris = mesh.m_pos;
    auto translate = [](const V3 & v) { return num(v.x) + " " + num(v.y) + " " + num(v.z); };
    return "<?xml version=\"1.0\"?>\n<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">"
           "<asset><unit meter=\"1\"/><up_axis>Y_UP</up_axis></asset>"
           "<library_cameras><camera id=\"cam\" name=\"Camera\"><optics><technique_common><perspective>"
           "<yfov>45.836624</yfov><aspect_ratio>1.3333334</aspect_ratio><znear>0.5</znear><zfar>100</zfar>"
           "</perspective></technique_common></optics></camera></library_cameras>"
           "<library_lights><light id=\"lamp\" name=\"Lamp\"><technique_common><point><color>1 1 1</color>"
           "<constant_attenuation>1</constant_attenuation><linear_attenuation>0</linear_attenuation>"
           "<quadratic_attenuation>0</quadratic_attenuation></point></technique_common></light></library_lights>"
           "<library_effects><effect id=\"white-fx\"><profile_COMMON><technique sid=\"t\"><lambert>"
           "<ambient><color>0.8 0.8 0.8 1</color></ambient><diffuse><color>0.8 0.8 0.8 "
           "1</color></diffuse></lambert></technique></profile_COMMON></effect>"
           "</library_effects><library_materials><material id=\"white\" name=\"white\">"
           "<instance_effect url=\"#white-fx\"/></material></library_materials>"
           "<library_geometries><geometry id=\"cube\" name=\"cube\"><mesh><source id=\"p\"><float_array id=\"pa\" "
           "count=\"" +
           std::to_string(tris.size() * 3) + "\">" + pos +
           "</float_array><technique_common><accessor source=\"#pa\" count=\"" + std::to_string(tris.size()) +
           "\" stride=\"3\"><param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/>"
           "<param name=\"Z\" type=\"float\"/></accessor></technique_common></source>"
           "<source id=\"n\"><float_array id=\"na\" count=\"" +
           std::to_string(tris.size() * 3) + "\">" + nrm +
           "</float_array><technique_common><accessor source=\"#na\" count=\"" + std::to_string(tris.size()) +
           "\" stride=\"3\"><param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/>"
           "<param name=\"Z\" type=\"float\"/></accessor></technique_common></source>"
           "<vertices id=\"v\"><input semantic=\"POSITION\" source=\"#p\"/>"
           "<input semantic=\"NORMAL\" source=\"#n\"/></vertices>"
           "<triangles material=\"m\" count=\"" +
           std::to_string(tris.size() / 3) + "\"><input semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><p>" + idx +
           "</p></triangles></mesh></geometry></library_geometries>"
           "<library_visual_scenes><visual_scene id=\"s\">"
           "<node id=\"cubeNode\" name=\"cubeNode\"><instance_geometry url=\"#cube\"><bind_material>"
           "<technique_common><instance_material symbol=\"m\" target=\"#white\"/></technique_common>"
           "</bind_material></instance_geometry></node>"
           "<node id=\"Camera\" name=\"Camera\"><translate>" +
           translate(camera) +
           "</translate><instance_camera url=\"#cam\"/></node>"
           "<node id=\"Lamp\" name=\"Lamp\"><translate>" +
           translate(light) +
           "</translate><instance_light url=\"#lamp\"/></node>"
           "</visual_scene></library_visual_scenes><scene><instance_visual_scene url=\"#s\"/></scene></COLLADA>\n";
}

class ImportPictures : public ::testing::Test
{
  protected:
    // Imports IN (a file of the temporary folder) with the given options and draws the result
    // at time T; false with the tools' output when either fails.
    bool draw(const std::string & in, const std::string & options, float fT, Picture * pPicture)
    {
        std::string out;
        const std::string cmd = "cd " + m_dir.path() + " && " + importer() + " " + in + " -o out.s3d --textures maps " +
                                options + " 2>&1 && " + scene() + " render out.s3d --at " + num(fT) +
                                " -o out.png 2>&1";
        if (qort::runCommand(cmd, &out) != 0)
        {
            ADD_FAILURE() << cmd << "\n" << out;
            return false;
        }
        m_strOutput = out;
        return readPng(m_dir.file("out.png"), pPicture) && pPicture->w == kW && pPicture->h == kH;
    }
    qort::TempDir m_dir;
    std::string m_strOutput;
};
} // namespace

// The face toward the eye, lit when the light stands beside the eye and dark when it stands
// behind the cube, whichever format carried the cube (OBJ has no camera or light: --stage adds
// them, the camera on the -z side of the converted model and a key light beside it; without
// --stage, qor-scene render says that the scene has neither).
TEST_F(ImportPictures, TheFaceTowardTheEyeIsItsOutsideLitFromTheLightsSide)
{
    const Mesh cube = cubeTriangles();
    const V3 beside{3, 0, 6}, behind{0, 0, -6};
    struct Case
    {
        const char * m_szName;
        std::string m_strFile;
        std::string m_strText;
        const char * m_szOptions;
        bool m_bLit;
        bool m_bWarned = false;
        float m_fT = 0.0f;
    } cases[] = {
        {"glTF, light beside the eye", "cube.gltf", "", "", true},
        {"glTF, light behind the cube", "cube.gltf", "", "", false},
        {"COLLADA, light beside the eye", "cube.dae", collada(cube, {0, 0, 6}, beside), "", true},
        {"COLLADA, light behind the cube", "cube.dae", collada(cube, {0, 0, 6}, behind), "", false},
        {"OBJ, staged", "cube.obj", obj(cube), "--stage", true},
        {"OBJ, not staged", "cube.obj", obj(cube), "", false, true},
        // Half of a 60-unit orbit: the camera looks at the far face, which the still lights
        // (in front of the cube) do not reach.
        {"OBJ, staged, half an orbit", "cube.obj", obj(cube), "--stage --orbit 60", false, false, 30.0f},
    };
    GltfScene g;
    g.m_meshes = {cube};
    g.m_light = beside;
    cases[0].m_strText = g.json();
    g.m_light = behind;
    cases[1].m_strText = g.json();
    ASSERT_TRUE(qort::writeText(m_dir.file("cube.mtl"), "newmtl white\nKd 0.8 0.8 0.8\n"));
    for (const Case & c : cases)
    {
        SCOPED_TRACE(c.m_szName);
        ASSERT_TRUE(qort::writeText(m_dir.file(c.m_strFile), c.m_strText));
        Picture p;
        ASSERT_TRUE(draw(c.m_strFile, c.m_szOptions, c.m_fT, &p));
        // The middle of the picture is the face's middle; 223 lit, 51 unlit (see the top). The
        // staged cube's key light stands above the eye: its face is lit less, but well above 51.
        const int n = p.grey(kW / 2, kH / 2);
        EXPECT_EQ(m_strOutput.find("the scene has no camera") != std::string::npos, c.m_bWarned) << m_strOutput;
        EXPECT_EQ(m_strOutput.find("1 of 1 meshes have no light of the scene in range") != std::string::npos,
                  c.m_bWarned)
            << m_strOutput;
        if (c.m_bWarned)
            continue; // seen through the viewer's camera: the cube is not in the middle
        if (!c.m_bLit)
            EXPECT_NEAR(n, 51, 3) << m_strOutput;
        else if (c.m_szOptions[0])
            EXPECT_GT(n, 120) << m_strOutput; // the staged key light, above the eye
        else
            EXPECT_NEAR(n, 223, 6) << m_strOutput;
    }
}

// A camera with yfov 0.8 and a rectangle at distance 10 whose half height is 10 * tan(0.4) / 2
// and half width 4/3 of that: its edges must fall halfway between the middle and the picture's
// edges, rows 120 and 360, columns 160 and 480 of 640 x 480. A target camera whose node looks down -z
// but whose target stands to the right draws the small square around its target in the middle.
// A camera rolled about its view axis turns the picture with it.
TEST_F(ImportPictures, CamerasFrameWhatTheFileSays)
{
    const float fH = 10.0f * std::tan(0.4f) / 2.0f, fW = fH * 4.0f / 3.0f;
    GltfScene g;
    g.m_camera = {0, 0, 0};
    g.m_light = {0, 0, 0};
    g.m_meshes = {rectangle(-fW, -fH, fW, fH, -10)};
    ASSERT_TRUE(qort::writeText(m_dir.file("rect.gltf"), g.json()));
    Picture p;
    ASSERT_TRUE(draw("rect.gltf", "", 0, &p));
    struct Probe
    {
        int x, y;
        bool bInside;
    } probes[] = {
        {320, 240, true},  {320, 123, true},  {320, 357, true},  {163, 240, true},  {477, 240, true},
        {320, 117, false}, {320, 363, false}, {157, 240, false}, {483, 240, false}, {163, 123, true},
    };
    // The rectangle, white lit from the eye, stands out of the viewer's background (the corner).
    const int nBack = p.grey(0, 0);
    for (const Probe & pr : probes)
        EXPECT_EQ(p.grey(pr.x, pr.y) > nBack + 40, pr.bInside) << pr.x << "," << pr.y << ": " << p.grey(pr.x, pr.y);

    // The same camera rolled a quarter turn: the rectangle stands upright. Its half width 2.82
    // now runs down the picture, rows 240 -+ 240 * 2.82 / (10 * tan(0.4)) = 80 .. 400; its half
    // height 2.11 across, columns 320 -+ 320 * 2.11 / (10 * tan(0.4) * 4 / 3) = 200 .. 440.
    g.m_bRolled = true;
    ASSERT_TRUE(qort::writeText(m_dir.file("rolled.gltf"), g.json()));
    ASSERT_TRUE(draw("rolled.gltf", "", 0, &p));
    const Probe rolled[] = {
        {320, 83, true},  {320, 397, true},  {203, 240, true},  {437, 240, true},
        {320, 77, false}, {320, 403, false}, {197, 240, false}, {443, 240, false},
    };
    for (const Probe & pr : rolled)
        EXPECT_EQ(p.grey(pr.x, pr.y) > nBack + 40, pr.bInside) << pr.x << "," << pr.y << ": " << p.grey(pr.x, pr.y);

    // The target at (4, 0, -10): a free camera looking down -z would show the square at
    // column 320 + 320 * 4 / (10 * tan(0.4) * 4 / 3) = 547, off the middle.
    GltfScene t;
    t.m_camera = {0, 0, 0};
    t.m_light = {0, 0, 0};
    t.m_bTarget = true;
    t.m_target = {4, 0, -10};
    t.m_meshes = {rectangle(3, -1, 5, 1, -10)};
    ASSERT_TRUE(qort::writeText(m_dir.file("target.gltf"), t.json()));
    ASSERT_TRUE(draw("target.gltf", "", 0, &p));
    EXPECT_GT(p.grey(320, 240), p.grey(0, 0) + 40);
    EXPECT_EQ(p.grey(547, 240), p.grey(0, 0));
}
