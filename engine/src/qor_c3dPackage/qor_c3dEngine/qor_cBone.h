// qor_cBone: a skeleton bone. Its skin matrix (inverse bind matrix * world) carries skinned
// vertices from where they were at load to where the bone puts them now.
#pragma once

#include "qor_cObject.h"

class qor_cBone : public qor_cObject
{
public:
    qor_cBone() : qor_cObject(e_type_bone) {}

    // The object update, then skin = inverse bind * world.
    void update(cfloat * pDt) override;

    // Stores the rigid inverse of the current world matrix as the inverse bind matrix.
    void setBindPose() { m_invBind.setRigidInverse(m_world); }
    const qor_cMatrix & getInverseBind() const { return m_invBind; }
    const qor_cMatrix & getSkin() const { return m_skin; }

private:
    qor_cMatrix m_invBind;
    qor_cMatrix m_skin;
};
