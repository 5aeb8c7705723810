// One texture stage combiner (colour or alpha): arg1 op arg2, in the display's numbering
// (arguments: 0 current, 1 texture, 2 diffuse, 3 specular; operations: 0 disable .. 10 dot3).
#pragma once

#include "qor_types.h"

class qor_cCombiner
{
public:
    qor_cCombiner(uint arg1 = 2, uint op = 0, uint arg2 = 1) : m_arg1(arg1), m_arg2(arg2), m_op(op) {}
    virtual ~qor_cCombiner() {}

    void set(uint arg1, uint op, uint arg2)
    {
        m_arg1 = arg1;
        m_op = op;
        m_arg2 = arg2;
    }

    uint m_arg1;
    uint m_arg2;
    uint m_op;
};
