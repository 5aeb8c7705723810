// The helper objects of the modelling package: dummies and the three gizmo shapes. Nothing in
// the engine reads their dimensions after loading; they are kept as exported.
#pragma once

#include "qor_cObject.h"

class qor_cDummy : public qor_cObject
{
public:
    qor_cDummy() : qor_cObject(e_type_dummy) {}
};

class qor_cGizmoSphere : public qor_cObject
{
public:
    qor_cGizmoSphere() : qor_cObject(e_type_gizmoSphere), m_fRadius(0.0f), m_bHemisphere(0) {}
    float m_fRadius;
    uchar m_bHemisphere; // the record's value was 1
};

class qor_cGizmoBox : public qor_cObject
{
public:
    qor_cGizmoBox() : qor_cObject(e_type_gizmoBox), m_afSize{0.0f, 0.0f, 0.0f} {}
    float m_afSize[3];
};

class qor_cGizmoCylinder : public qor_cObject
{
public:
    qor_cGizmoCylinder() : qor_cObject(e_type_gizmoCylinder), m_afSize{0.0f, 0.0f} {}
    float m_afSize[2];
};
