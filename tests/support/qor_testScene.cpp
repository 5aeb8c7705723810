#include "qor_testScene.h"

#include <vector>

namespace qort
{
void addRedQuad(qor_cS3dWriter & w)
{
    qor_sS3dWMaterial m;
    m.m_strName = "Red";
    m.m_nTwoSided = 1;
    w.addMaterial(m);
    w.addVertices({{-10, 40, -100}, {10, 40, -100}, {10, 60, -100}, {-10, 60, -100}}, {{0, 0, 1}});
    w.addCVertices({{1, 0, 0, 1}});
    std::vector<qor_sS3dFace> faces(2);
    const uint c[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (int f = 0; f < 2; ++f)
        for (int i = 0; i < 3; ++i)
            faces[f].m_anPosition[i] = c[f][i];
    w.addPolygons(faces);
    qor_sS3dWMeshData d;
    d.m_bHasColor = true;
    d.m_boundaries.push_back({0, 2, "Red"});
    w.addMeshData(d);
    qor_sS3dWObject o;
    o.m_strName = "quad";
    o.m_vCenter = {0, 50, -100};
    o.m_fRadius = 15;
    w.addMesh(o, {0});
}
} // namespace qort
