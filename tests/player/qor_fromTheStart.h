// Where a run of the show from its start stands after its frame k at dFps frames a second: the
// sequencer alone, fed the fixed-step clock's reading float(k x 1000 / fps) ms at frame k.
// Every switch drops the step that crossed the duration, so the screen time falls behind the
// table by a step per switch. The model the player's seeks and keys are checked against.
#pragma once

#include "qor_cLayerViewer.h"
#include "qor_cSequencer.h"

struct Standing
{
    int iEntry;        // -1 once the show is over
    float fScreenTime;
};

inline Standing fromTheStart(double dFps, int k)
{
    qor_cSequencer seq(qor_cLayerViewer::getShowTable());
    seq.start(0, 0.0f, 0.0f);
    for (int i = 0; i <= k; ++i)
        seq.advance(float(double(i) * 1000.0 / dFps), {});
    return {seq.isEnded() ? -1 : seq.getEntry(), seq.getScreenTime()};
}
