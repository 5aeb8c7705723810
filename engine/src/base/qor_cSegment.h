// qor_cSegment: a segment from m_vStart to m_vEnd.
#pragma once

#include "qor_cPlane.h"
#include "qor_cVector3.h"

class qor_cSegment
{
public:
    qor_cVector3 m_vStart;
    qor_cVector3 m_vEnd;

    qor_cSegment() : m_vStart(), m_vEnd() {}
    qor_cSegment(const qor_cVector3 & vStart, const qor_cVector3 & vEnd) : m_vStart(vStart), m_vEnd(vEnd) {}

    // The parameter u in 0..1 of the point start + u (end - start) on the plane, or -1 when the
    // segment does not reach the plane or lies parallel to it.
    float intersect(const qor_cPlane & plane) const;
    // The point of the segment nearest to p (the start for a segment of length 0).
    qor_cVector3 closestPoint(const qor_cVector3 & p) const;
};
