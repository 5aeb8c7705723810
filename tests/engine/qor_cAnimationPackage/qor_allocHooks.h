// Global operator new replacement for the animation tests: counts every allocation and can make
// the nothrow forms fail, so that "evaluation allocates nothing" and the out-of-memory paths
// can be checked.
#pragma once

namespace qort
{
// Number of operator new calls (all forms) since the program started.
long allocationCount();
// While on, every nothrow operator new / new[] returns null.
void setFailNothrowNew(bool bFail);

// Counts the allocations made during its lifetime.
class AllocCounter
{
public:
    AllocCounter() : m_nStart(allocationCount()) {}
    long count() const { return allocationCount() - m_nStart; }

private:
    long m_nStart;
};

// Makes nothrow allocations fail for the scope.
class FailNothrowNew
{
public:
    FailNothrowNew() { setFailNothrowNew(true); }
    ~FailNothrowNew() { setFailNothrowNew(false); }
};
} // namespace qort
