// qor-import's conversion: an Assimp scene into a scene file, its animation file and the JPEG
// images its textures name, built with the engine's scene writers.
#pragma once

#include "qor_cS3dWriter.h"
#include "qor_importImage.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct aiScene;
class qor_cImportFiles;

struct qor_sImportOptions
{
    float m_fScale = 1.0f;       // multiplies every distance
    unsigned m_nFps = 30;        // samples per second of the animation tracks
    std::string m_strPrefix;     // put before every object, material and texture name
    float m_fFit = 0.0f;         // > 0: the model is scaled so that its largest extent is this
    bool m_bStage = false;       // add a camera framing the model and two lights where it has none
    float m_fOrbit = 0.0f;       // > 0: the staged camera circles the model once in this many frame units
    std::string m_strAnim;       // the animation to convert: its name or index (empty: the first)
    bool m_bGltf = false;        // the model is glTF (whose camera angles Assimp reports its own way)
    bool m_bObj = false;         // the model is OBJ (whose materials Assimp reports its own way)
    // Where external textures are read from (the model's folder and its rule); null: only
    // embedded ones (the fuzz target's choice).
    qor_cImportFiles * m_pFiles = nullptr;
};

// One image to write under the texture folder as NAME.jpg.
struct qor_sImportTexture
{
    std::string m_strName;  // the scene file's texture name (also the file's stem)
    qor_sImportImage m_image;
    bool m_bAlpha = false;  // write the alpha channel (as m_strName)
};

struct qor_sImportResult
{
    std::unique_ptr<qor_cS3dWriter> m_pScene;
    qor_cMotWriter m_anim;
    std::vector<qor_sImportTexture> m_textures;
    std::vector<std::string> m_warnings;
    unsigned m_nObjects = 0;
    unsigned m_nMeshes = 0;
    unsigned m_nFileCameras = 0; // cameras in the file
    unsigned m_nCameras = 0;     // cameras written (the file's, then --stage's)
    unsigned m_nLights = 0;      // omni lights written
};

// The post-processing the conversion expects of Assimp: first qoru_importPostProcessFlags
// (triangles, normals, at most 4 bone weights per vertex) with the file's own axes, so that
// normals made from the winding point out of the faces; then, as a second pass,
// qoru_importAxisFlags, the mirror to left-handed axes (z negated). The winding is left as the
// mirror makes it: seen from outside, a face then turns counter-clockwise on screen, and those
// are the faces the engine keeps (its passes cull clockwise ones, as Direct3D's cull mode 1).
unsigned qoru_importPostProcessFlags();
unsigned qoru_importAxisFlags();

// Converts the scene; false (with a warning saying why) when nothing usable is left.
bool qoru_importConvert(const aiScene & scene, const qor_sImportOptions & options, qor_sImportResult * pResult);

// The names given so far in one name space (objects, materials or textures), and for each name
// asked for more than once the next number to try, so that N equal names cost O(N) in all.
struct qor_sImportNames
{
    std::unordered_set<std::string> m_used;
    std::unordered_map<std::string, unsigned> m_next;
};

// The name-shortening rule: names longer than nMax characters keep their start and end with "~"
// and a hash; names already given get "~2", "~3" ... Every name returned is unique in pNames.
std::string qoru_importUniqueName(const std::string & strName, size_t nMax, qor_sImportNames * pNames);
