// libFuzzer target: arbitrary bytes as a scene file's chunk table. The table is read from an
// exact-size copy in memory and from a file; then the scene loader walks it with a subclass that
// reads every element of every record view it is handed. Nothing may read outside the input,
// allocate from an unchecked count, or run without end.
#include "qor_c3dLoader.h"
#include "qor_fuzzFile.h"
#include "tz_cChunkTable.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
volatile float g_fSink;

template <typename A> void touch(const A & a)
{
    for (uint i = 0; i < a.getCount(); ++i)
    {
        const auto v = a.at(i);
        g_fSink = *reinterpret_cast<const uchar *>(&v);
    }
}

// Reads every element of every view: the sanitizer sees any view that points outside its chunk.
class Reader : public qor_c3dLoader
{
public:
    bool extractMesh(const qor_sMesh & s) override
    {
        touch(s.m_anIndex);
        touch(s.m_anOther);
        return true;
    }
    bool extractMeshData(const qor_sMeshData & s) override
    {
        touch(s.m_pMaterialBoundary);
        touch(s.m_aSkin);
        for (uint b = 0; b < s.m_nMaterialBoundary; ++b)
        {
            const qor_sS3dBoundary bd = s.m_pMaterialBoundary.at(b);
            for (uint f = 0; f < bd.m_nFaceCount; ++f)
                for (uint c = 0; c < 3; ++c)
                {
                    qor_sS3dCorner corner;
                    // Every face of a boundary handed over resolves.
                    if (!s.getCorner(bd.m_nFirstFace + f, c, &corner))
                        __builtin_trap();
                    if (s.m_bSkinned)
                        for (uint i = 0; i < corner.m_skin.m_nInfluence; ++i)
                            if (corner.m_skin.m_anBone[i] >= s.m_nBoneLimit)
                                __builtin_trap();
                }
        }
        return true;
    }
    bool extractMeshDataTL(const qor_sS3dRaw & s) override { return raw(s); }
    bool extractAnimObject(const qor_sS3dRaw & s) override { return raw(s); }
    bool extractMaterialNode(const qor_sS3dRaw & s) override { return raw(s); }
    bool extractVertices(const qor_sVertices & s) override
    {
        touch(s.m_avPosition);
        touch(s.m_avNormal);
        return true;
    }
    bool extractTVertices(const qor_sTVertices & s) override
    {
        touch(s.m_avUV);
        return true;
    }
    bool extractCVertices(const qor_sCVertices & s) override
    {
        touch(s.m_aColor);
        return true;
    }
    bool extractPolygons(const qor_sPolygons & s) override
    {
        touch(s.m_aFace);
        return true;
    }
    bool extractMaterial(const qor_sMaterial & s) override
    {
        // The name holds at most 64 characters, terminated.
        if (std::strlen(s.m_szName) > 64)
            __builtin_trap();
        return true;
    }
    bool extractObjectHierarchy(const qor_sObjectHierarchy & s) override
    {
        touch(s.m_aPair);
        return true;
    }
    bool extractAnimObjectHierarchy(const qor_sObjectHierarchy & s) override
    {
        touch(s.m_aPair);
        return true;
    }
    bool extractAnimUV(const qor_sAnimUV & s) override
    {
        touch(s.m_aPosition);
        touch(s.m_aRotation);
        touch(s.m_aScale);
        return true;
    }
    bool extractMorph(const qor_sMorph & s) override
    {
        for (uint i = 0; i < s.m_nTarget; ++i)
            touch(s.getTarget(i).m_aKey);
        return true;
    }

private:
    static bool raw(const qor_sS3dRaw & s)
    {
        for (uint i = 0; i < s.m_nSize; ++i)
            g_fSink = s.m_pData[i];
        return true;
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    // An exact-size copy, so that one byte past the input is outside the allocation.
    std::vector<char> image(pData, pData + nSize);
    cchar * pImage = image.empty() ? "" : image.data();
    {
        tz_cChunkTable table(0, 0);
        if (table.loadFromMemory(pImage, nSize))
            for (uint i = 0; i < table.getNbChunk(); ++i)
            {
                cchar * p = table.getChunkDatas(i);
                if (table.getChunkSize(i) && (p < pImage || p + table.getChunkSize(i) > pImage + nSize))
                    __builtin_trap();
            }
    }
    {
        Reader reader;
        reader.loadSceneFromMemory(pImage, nSize);
    }
    const std::string strPath = qoru_fuzzWriteInput("chunktable", ".s3d", pData, nSize);
    if (!strPath.empty())
    {
        tz_cChunkTable table(0, 0);
        table.load(strPath.c_str());
        std::remove(strPath.c_str());
    }
    return 0;
}
