// qor-gen-music: synthesises the show's music and encodes it to MP3 with LAME.
//
//   qor-gen-music OUT.mp3 [--seed N] [--bitrate KBPS] [--preview UNITS] [--report]
//
// 44.1 kHz stereo, 9322 frame units of 1/30 s (13 703 340 samples, 310.73 s). The piece has one
// section per screen of the show's screen table, each exactly as long as its screen (one frame
// unit is 1470 samples), so every screen change falls on a section change. Each section fits
// its screen: a build-up for the intro, full drums for the title and the chapters, calm pads
// and arpeggios for the interludes, a cut to near silence for the black breaks, a half-time
// groove for the end scroll and a last chord for the end. Instruments: kick, snare, hi-hat,
// crash, a filtered saw bass, a detuned saw pad, a pulse lead with echoes, a bell arpeggio
// and a noise riser, through a small reverb and a soft limiter.
//
// --preview renders only the first UNITS frame units (a quick listen, or a quick test);
// --report prints each section's start, length, tempo and loudness. See docs/SHOW.md.
#include "qor_builtinShow.h"
#include "qor_genCommon.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace qorg;

namespace
{
const int kRate = 44100;
const int kSamplesPerUnit = kRate / 30; // one frame unit of 1/30 s: 1470 samples
const double kPi = 3.14159265358979323846;

enum eKind
{
    e_intro,
    e_title,
    e_chapter,
    e_inter,
    e_black,
    e_endScroll,
    e_theEnd,
};

// The music that fits each screen of the show's table (qor_builtinShow.h, the table the player
// plays): its kind and its key, entry by entry; the scripts and durations come from the table.
struct Screen
{
    eKind kind;
    int transpose; // semitones from A minor
};
const Screen s_aScreen[] = {
    {e_intro, 0}, {e_title, 0}, {e_inter, 0},   {e_black, 0},     {e_chapter, 0},
    {e_inter, 5}, {e_black, 0}, {e_chapter, 5}, {e_inter, -2},    {e_chapter, -2},
    {e_inter, 3}, {e_black, 0}, {e_chapter, 3}, {e_endScroll, 0}, {e_theEnd, 0},
};
const int kNbScreen = g_nBuiltinShow;
static_assert(sizeof(s_aScreen) / sizeof(s_aScreen[0]) == g_nBuiltinShow, "one kind of music per screen");

double midiHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// ---- the mix: dry stereo plus mono sends to the echo and the reverb.
struct Mix
{
    std::vector<float> left, right, echoSend, reverbSend;
    explicit Mix(size_t n) : left(n, 0.f), right(n, 0.f), echoSend(n, 0.f), reverbSend(n, 0.f) {}
    size_t size() const { return left.size(); }
    // Where a voice goes: a constant-power pan (-1 left .. 1 right) and its two sends.
    struct Send
    {
        double l, r, echo, reverb;
        Send(double pan, double e, double rv)
            : l(std::cos((pan + 1.0) * kPi / 4.0)), r(std::sin((pan + 1.0) * kPi / 4.0)), echo(e), reverb(rv)
        {
        }
    };
    void add(size_t i, double v, const Send & s)
    {
        if (i >= left.size())
            return;
        left[i] += (float)(v * s.l);
        right[i] += (float)(v * s.r);
        echoSend[i] += (float)(v * s.echo);
        reverbSend[i] += (float)(v * s.reverb);
    }
};

// Band-limited sawtooth (polyBLEP), phase in [0, 1).
inline double blep(double t, double dt)
{
    if (t < dt)
    {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt)
    {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}
inline double saw(double phase, double dt) { return 2.0 * phase - 1.0 - blep(phase, dt); }

// Two-pole state-variable low-pass (trapezoidal integration: stable at any cutoff).
// The coefficients follow the cutoff every 32 samples: the tangent is the costly part, and
// envelopes move slowly at that scale.
struct LowPass
{
    double ic1 = 0, ic2 = 0, a1 = 0, a2 = 0, a3 = 0;
    unsigned n = 0;
    double run(double v, double cutoff, double q)
    {
        if ((n++ & 31) == 0)
        {
            const double g = std::tan(kPi * std::min(cutoff, kRate * 0.45) / kRate);
            const double k = 1.0 / q;
            a1 = 1.0 / (1.0 + g * (g + k));
            a2 = g * a1;
            a3 = g * a2;
        }
        const double v3 = v - ic2;
        const double v1 = a1 * ic1 + a2 * v3;
        const double v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2 * v1 - ic1;
        ic2 = 2 * v2 - ic2;
        return v2;
    }
};

// ---- instruments: each note is rendered on its own into the mix.
void kick(Mix & m, size_t at, double vel)
{
    double phase = 0;
    const size_t n = (size_t)(0.45 * kRate);
    const Mix::Send snd(0.0, 0.0, 0.02);
    for (size_t i = 0; i < n; ++i)
    {
        const double t = (double)i / kRate;
        const double f = 45.0 + 110.0 * std::exp(-t * 28.0);
        phase += f / kRate;
        const double v = std::sin(2 * kPi * phase) * std::exp(-t * 7.0) + 0.3 * std::exp(-t * 400.0);
        m.add(at + i, 0.9 * vel * v, snd);
    }
}

void snare(Mix & m, Rng & r, size_t at, double vel)
{
    const size_t n = (size_t)(0.25 * kRate);
    double prev = 0, phase = 0;
    const Mix::Send snd(0.05, 0.05, 0.25);
    for (size_t i = 0; i < n; ++i)
    {
        const double t = (double)i / kRate;
        const double w = r.range(-1, 1);
        const double hp = w - prev; // brighter noise
        prev = w;
        phase += 190.0 / kRate;
        const double v = 0.5 * hp * std::exp(-t * 18.0) + 0.5 * std::sin(2 * kPi * phase) * std::exp(-t * 30.0);
        m.add(at + i, 0.55 * vel * v, snd);
    }
}

void hat(Mix & m, Rng & r, size_t at, double vel, bool bOpen)
{
    const double decay = bOpen ? 9.0 : 45.0;
    const size_t n = (size_t)((bOpen ? 0.4 : 0.08) * kRate);
    double p1 = 0, p2 = 0;
    const Mix::Send snd(0.3, 0.0, 0.05);
    for (size_t i = 0; i < n; ++i)
    {
        const double t = (double)i / kRate;
        const double w = r.range(-1, 1);
        const double h1 = w - p1; // two first differences: only the top octaves stay
        p1 = w;
        const double h2 = h1 - p2;
        p2 = h1;
        m.add(at + i, 0.16 * vel * h2 * std::exp(-t * decay), snd);
    }
}

void crash(Mix & m, Rng & r, size_t at, double vel)
{
    const size_t n = (size_t)(2.0 * kRate);
    double p1 = 0;
    const Mix::Send snd(-0.3, 0.0, 0.3);
    for (size_t i = 0; i < n; ++i)
    {
        const double t = (double)i / kRate;
        const double w = r.range(-1, 1);
        const double h = w - p1;
        p1 = w;
        m.add(at + i, 0.22 * vel * h * std::exp(-t * 2.2), snd);
    }
}

void bass(Mix & m, size_t at, size_t len, double note, double vel, double bright)
{
    const double f = midiHz(note), dt = f / kRate;
    double p1 = 0, p2 = 0.37, sub = 0;
    LowPass lp;
    const size_t rel = (size_t)(0.02 * kRate);
    const Mix::Send snd(0.0, 0.0, 0.02);
    for (size_t i = 0; i < len + rel; ++i)
    {
        const double t = (double)i / kRate;
        p1 += dt;
        p1 -= std::floor(p1);
        p2 += dt * 1.004;
        p2 -= std::floor(p2);
        sub += dt;
        const double env = (i < len ? 1.0 : 1.0 - (double)(i - len) / rel) * std::min(1.0, t * 400.0);
        const double cutoff = f * (1.5 + bright * 10.0 * std::exp(-t * 12.0));
        const double v = lp.run(0.5 * (saw(p1, dt) + saw(p2, dt)), cutoff, 1.2) + 0.6 * std::sin(2 * kPi * sub);
        m.add(at + i, 0.42 * vel * env * v, snd);
    }
}

// A held chord: three detuned saws per note on each side, one low-pass per side for the
// whole chord.
void pad(Mix & m, size_t at, size_t len, const int * pNote, int nNote, double vel, double cutoff, double attack)
{
    const double aDetune[3] = {-0.12, 0.0, 0.11}; // semitones
    const int kMaxOsc = 6 * 8;
    double aPhase[kMaxOsc], aDt[kMaxOsc];
    int nOsc = 0;
    Rng r(at + (size_t)pNote[0]);
    for (int k = 0; k < nNote && nOsc + 6 <= kMaxOsc; ++k)
        for (int v = 0; v < 3; ++v)
        {
            const double f = midiHz(pNote[k]);
            aDt[nOsc] = f * std::pow(2.0, aDetune[v] / 12.0) / kRate;     // left
            aDt[nOsc + 1] = f * std::pow(2.0, -aDetune[v] / 12.0) / kRate; // right
            aPhase[nOsc] = r.unit();
            aPhase[nOsc + 1] = r.unit();
            nOsc += 2;
        }
    LowPass lpL, lpR;
    const size_t rel = (size_t)(0.8 * kRate);
    const size_t n = std::min(len + rel, m.size() > at ? m.size() - at : 0);
    double c = cutoff;
    for (size_t i = 0; i < n; ++i)
    {
        double l = 0, rr = 0;
        for (int o = 0; o < nOsc; o += 2)
        {
            aPhase[o] += aDt[o];
            if (aPhase[o] >= 1.0)
                aPhase[o] -= 1.0;
            aPhase[o + 1] += aDt[o + 1];
            if (aPhase[o + 1] >= 1.0)
                aPhase[o + 1] -= 1.0;
            l += saw(aPhase[o], aDt[o]);
            rr += saw(aPhase[o + 1], aDt[o + 1]);
        }
        const double t = (double)i / kRate;
        double env = std::min(1.0, t / attack);
        if (i >= len)
            env *= 1.0 - (double)(i - len) / rel;
        if ((i & 31) == 0)
            c = cutoff * (0.8 + 0.2 * std::sin(2 * kPi * 0.15 * t));
        const double g = 0.07 * vel * env;
        const double dl = g * lpL.run(l, c, 0.8), dr = g * lpR.run(rr, c, 0.8);
        m.left[at + i] += (float)dl;
        m.right[at + i] += (float)dr;
        m.reverbSend[at + i] += (float)(0.3 * (dl + dr));
    }
}

void lead(Mix & m, size_t at, size_t len, double note, double vel, double pan, bool bSoft)
{
    const double f = midiHz(note);
    double phase = 0;
    LowPass lp;
    const size_t rel = (size_t)(0.06 * kRate);
    const Mix::Send snd(pan, 0.35, 0.25);
    for (size_t i = 0; i < len + rel; ++i)
    {
        const double t = (double)i / kRate;
        const double vib = 1.0 + 0.004 * std::sin(2 * kPi * 5.5 * t) * std::min(1.0, t * 3.0);
        const double dt = f * vib / kRate;
        phase += dt;
        phase -= std::floor(phase);
        // A pulse of 30 % duty from two saws; the soft voice is nearly a sine.
        double osc = saw(phase, dt) - saw(std::fmod(phase + 0.3, 1.0), dt);
        if (bSoft)
            osc = std::sin(2 * kPi * phase) + 0.15 * osc;
        double env = std::min(1.0, t * 200.0) * (0.6 + 0.4 * std::exp(-t * 6.0));
        if (i >= len)
            env *= 1.0 - (double)(i - len) / rel;
        const double v = lp.run(osc, f * (bSoft ? 3.0 : 6.0) + 1800.0 * std::exp(-t * 8.0), 0.9);
        m.add(at + i, 0.16 * vel * env * v, snd);
    }
}

void bell(Mix & m, size_t at, double note, double vel, double pan)
{
    // Two partials as rotating phasors with multiplicative decays: no sine per sample.
    const double f = midiHz(note);
    const size_t n = (size_t)(1.2 * kRate);
    const double w1 = 2 * kPi * f / kRate, w2 = 2 * kPi * f * 2.76 / kRate;
    const double c1 = std::cos(w1) * std::exp(-3.5 / kRate), s1 = std::sin(w1) * std::exp(-3.5 / kRate);
    const double c2 = std::cos(w2) * std::exp(-9.0 / kRate), s2 = std::sin(w2) * std::exp(-9.0 / kRate);
    double x1 = 1, y1 = 0, x2 = 1, y2 = 0;
    const double a = (pan + 1.0) * kPi / 4.0, gl = std::cos(a), gr = std::sin(a);
    for (size_t i = 0; i < n && at + i < m.size(); ++i)
    {
        const double v = 0.11 * vel * (y1 + 0.35 * y2) * std::min(1.0, (double)i * (300.0 / kRate));
        double t = x1 * c1 - y1 * s1;
        y1 = x1 * s1 + y1 * c1;
        x1 = t;
        t = x2 * c2 - y2 * s2;
        y2 = x2 * s2 + y2 * c2;
        x2 = t;
        m.left[at + i] += (float)(v * gl);
        m.right[at + i] += (float)(v * gr);
        m.echoSend[at + i] += (float)(v * 0.2);
        m.reverbSend[at + i] += (float)(v * 0.45);
    }
}

// Noise through a rising low-pass, swelling towards the end.
void riser(Mix & m, Rng & r, size_t at, size_t len, double vel)
{
    LowPass lp;
    const Mix::Send snd(0.0, 0.0, 0.3);
    for (size_t i = 0; i < len; ++i)
    {
        const double x = (double)i / len;
        const double v = lp.run(r.range(-1, 1), 200.0 + 6000.0 * x * x, 2.0);
        m.add(at + i, 0.25 * vel * x * x * v, snd);
    }
}

// ---- harmony: chords as a root (semitones above A) and a minor or major triad.
struct Chord
{
    int root;
    bool bMinor;
};
const Chord s_aMain[4] = {{0, true}, {8, false}, {3, false}, {10, false}};   // Am F C G
const Chord s_aTitle[4] = {{0, true}, {0, true}, {8, false}, {10, false}};  // Am Am F G
const Chord s_aCalm[4] = {{8, false}, {0, true}, {5, true}, {7, true}};     // F Am Dm Em
const Chord s_aHope[4] = {{8, false}, {3, false}, {10, false}, {0, true}};  // F C G Am
int third(const Chord & c) { return c.bMinor ? 3 : 4; }

// The A minor pentatonic, A3 to A5, for melodies.
const int s_aPenta[] = {57, 60, 62, 64, 67, 69, 72, 74, 76, 79, 81};
const int kNbPenta = sizeof(s_aPenta) / sizeof(s_aPenta[0]);

struct Section
{
    eKind kind;
    size_t start, length; // samples
    int bars;
    double bpm, step; // step: one sixteenth, in samples
    int transpose;
};

// A two-bar melody of sixteen eighths: -1 rests, otherwise an index into the pentatonic.
std::vector<int> motif(Rng & r)
{
    std::vector<int> v(16, -1);
    int idx = 5;
    for (int s = 0; s < 16; ++s)
    {
        const bool bStrong = (s % 4) == 0;
        if (r.unit() < (bStrong ? 0.9 : 0.45))
        {
            idx = std::clamp(idx + (int)r.range(-2.0, 3.0), 2, kNbPenta - 2);
            v[s] = idx;
        }
    }
    return v;
}

void renderSection(Mix & m, const Section & sec, uint64_t seed, int index)
{
    Rng r(seed * 1000 + index);
    const int nStep = sec.bars * 16;
    auto at = [&](int s) { return sec.start + (size_t)std::llround(s * sec.step); };
    auto stepLen = [&](int n) { return (size_t)std::llround(n * sec.step); };
    const int tr = sec.transpose;
    const Chord * pProg = sec.kind == e_title ? s_aTitle
                        : sec.kind == e_inter ? s_aCalm
                        : sec.kind == e_endScroll ? s_aHope
                                                  : s_aMain;
    const int barsPerChord = sec.kind == e_inter ? 2 : 1;
    auto chordAt = [&](int bar) { return pProg[(bar / barsPerChord) % 4]; };

    if (sec.kind == e_black)
        return; // a break: the mix is cut and a swell added after the cut (see main)
    if (sec.kind == e_theEnd)
    {
        // The last chord: A minor with an added ninth, pad and bells, dying away.
        const int aNote[5] = {45, 57, 60, 64, 71};
        pad(m, sec.start, sec.length - (size_t)(0.8 * kRate), aNote, 5, 0.8, 1400.0, 0.05);
        for (int i = 0; i < 4; ++i)
            bell(m, sec.start + (size_t)(i * 0.35 * kRate), 69 + 3 * i + (i > 1 ? 1 : 0), 0.8, -0.5 + i / 3.0);
        bass(m, sec.start, (size_t)(2.5 * kRate), 33, 0.8, 0.2);
        return;
    }

    // Pads: one held chord per chord change.
    for (int bar = 0; bar < sec.bars; bar += barsPerChord)
    {
        const Chord c = chordAt(bar);
        const int root = 57 + tr + c.root;
        double vel = sec.kind == e_intro ? std::min(1.0, 0.3 + bar / 6.0) : (sec.kind == e_inter ? 0.9 : 0.75);
        if (sec.kind == e_intro && bar == sec.bars - 1)
            vel = 0.6; // the intro's last bar holds its breath before the title
        const double cutoff = sec.kind == e_intro ? 500.0 + 2500.0 * bar / sec.bars : (sec.kind == e_inter ? 1200.0 : 2200.0);
        const size_t len = stepLen(16 * std::min(barsPerChord, sec.bars - bar));
        const int aNote[4] = {root - 12, root, root + third(c), root + 7};
        pad(m, at(bar * 16), len, aNote, 4, vel, cutoff, sec.kind == e_inter ? 0.8 : 0.15);
    }

    // Which parts play in each bar.
    const int introStage2 = 4, introStage3 = 8, introStage4 = 12;
    std::vector<int> mA = motif(r), mB = motif(r);
    for (int s = 0; s < nStep; ++s)
    {
        const int bar = s / 16, pos = s % 16;
        const Chord c = chordAt(bar);
        const int root = 33 + tr + c.root; // bass octave
        const bool bLastBar = bar == sec.bars - 1;
        const bool bFillBar = (bar % 8) == 7 || bLastBar;
        bool bKick = false, bSnare = false, bHat = false, bOpenHat = false, bBass = false;
        double hatVel = 0.0, drumVel = 1.0;
        switch (sec.kind)
        {
        case e_intro:
            if (bLastBar)
            {
                // The breath before the title: only a snare roll swelling and the riser.
                if (pos % 2 == 0 || pos >= 8)
                    snare(m, r, at(s), 0.08 + 0.5 * pos / 15.0);
                break;
            }
            bHat = bar >= introStage2 && pos % 2 == 0;
            hatVel = pos % 4 == 2 ? 0.8 : 0.4;
            bKick = (bar >= introStage3 && (pos == 0 || pos == 8)) || (bar >= introStage4 && pos % 4 == 0);
            bSnare = bar >= introStage4 && (pos == 4 || pos == 12);
            bBass = bar >= introStage3 && pos % 2 == 0;
            drumVel = 0.8;
            break;
        case e_title:
        case e_chapter:
            bKick = pos % 4 == 0 || (bFillBar && pos == 14);
            bSnare = pos == 4 || pos == 12 || (bFillBar && pos >= 13);
            bHat = true;
            hatVel = pos % 4 == 2 ? 1.0 : (pos % 2 == 0 ? 0.55 : 0.3);
            bOpenHat = pos == 14 && !bFillBar;
            bBass = pos % 2 == 0 || pos == 7 || pos == 15;
            break;
        case e_endScroll:
            bKick = pos == 0 || pos == 10;
            bSnare = pos == 8;
            bHat = pos % 2 == 0;
            hatVel = 0.45;
            bBass = pos % 4 == 0;
            drumVel = 0.8;
            break;
        case e_inter:
            // Arpeggio of sixteenths over the chord, two octaves up and down.
            {
                const int aArp[8] = {0, third(c), 7, 12, 12 + third(c), 12, 7, third(c)};
                bell(m, at(s), 69 + tr + c.root + aArp[pos % 8] - 12, pos % 4 == 0 ? 0.9 : 0.6,
                     (pos % 2 ? 0.4 : -0.4));
                if (pos == 0 && bar % 2 == 0)
                    bass(m, at(s), stepLen(32) - 200, root, 0.55, 0.0);
            }
            break;
        default:
            break;
        }
        if (bKick)
            kick(m, at(s), drumVel);
        if (bSnare)
            snare(m, r, at(s), drumVel * ((bFillBar && pos >= 13) ? 0.5 + 0.15 * (pos - 12) : 1.0));
        if (bHat)
            hat(m, r, at(s), drumVel * hatVel, bOpenHat);
        if (bBass)
        {
            const int aOct[16] = {0, 0, 0, 0, 12, 0, 0, 0, 0, 0, 7, 0, 12, 0, 0, 0};
            const int note = sec.kind == e_endScroll ? root + (pos == 8 ? 7 : 0) : root + aOct[pos];
            bass(m, at(s), stepLen(sec.kind == e_endScroll ? 3 : 1) - 150, note, 0.9, sec.kind == e_intro ? 0.3 : 0.8);
        }
        // Lead: the motifs in eighths, A A B A over eight bars, from the title on; in the
        // chapters every other eight bars, so the tune comes and goes.
        const bool bLead = (sec.kind == e_title || (sec.kind == e_chapter && (bar / 8) % 2 == 1) ||
                            (sec.kind == e_endScroll && bar >= 2)) &&
                           pos % 2 == 0 && !(sec.kind != e_endScroll && bLastBar);
        if (bLead)
        {
            const std::vector<int> & mo = ((bar / 2) % 4 == 2) ? mB : mA;
            const int k = ((bar % 2) * 16 + pos) / 2;
            if (mo[k] >= 0)
            {
                int len = 2;
                while (k + len / 2 < 16 && mo[k + len / 2] < 0 && len < 6)
                    len += 2;
                lead(m, at(s), stepLen(len) - 300, s_aPenta[mo[k]] + tr + (sec.kind == e_endScroll ? 0 : 12),
                     0.9, 0.15 * std::sin(k), sec.kind == e_endScroll);
            }
        }
    }
    // A crash opens every full section; the intro ends with a riser over its last four bars.
    if (sec.kind == e_title || sec.kind == e_chapter)
        crash(m, r, sec.start, 1.0);
    if (sec.kind == e_intro)
    {
        const size_t from = at((sec.bars - 4) * 16);
        riser(m, r, from, sec.start + sec.length - from, 0.45);
    }
}

// Ping-pong echo and a small Schroeder reverb (four damped combs, two all-passes per side).
void effects(Mix & m)
{
    const size_t n = m.size();
    const size_t echo = (size_t)(0.36 * kRate);
    std::vector<float> dl(echo, 0.f), dr(echo, 0.f);
    const int aComb[2][4] = {{1557, 1617, 1491, 1422}, {1580, 1640, 1514, 1445}};
    const int aAll[2][2] = {{556, 441}, {579, 464}};
    std::vector<float> comb[2][4], all[2][2];
    size_t combPos[2][4] = {}, allPos[2][2] = {};
    float combLp[2][4] = {};
    for (int s = 0; s < 2; ++s)
    {
        for (int c = 0; c < 4; ++c)
            comb[s][c].assign(aComb[s][c], 0.f);
        for (int a = 0; a < 2; ++a)
            all[s][a].assign(aAll[s][a], 0.f);
    }
    size_t e = 0;
    for (size_t i = 0; i < n; ++i)
    {
        // Echo: left feeds right and right feeds left.
        const float el = dl[e], er = dr[e];
        dl[e] = m.echoSend[i] + 0.45f * er;
        dr[e] = 0.45f * el;
        e = e + 1 == echo ? 0 : e + 1;
        float out[2] = {0.f, 0.f};
        const float in = m.reverbSend[i] * 0.25f;
        for (int s = 0; s < 2; ++s)
        {
            float acc = 0.f;
            for (int c = 0; c < 4; ++c)
            {
                std::vector<float> & b = comb[s][c];
                const float y = b[combPos[s][c]];
                combLp[s][c] = y * 0.7f + combLp[s][c] * 0.3f;
                b[combPos[s][c]] = in + combLp[s][c] * 0.80f;
                combPos[s][c] = combPos[s][c] + 1 == b.size() ? 0 : combPos[s][c] + 1;
                acc += y;
            }
            for (int a = 0; a < 2; ++a)
            {
                std::vector<float> & b = all[s][a];
                const float y = b[allPos[s][a]];
                b[allPos[s][a]] = acc + y * 0.5f;
                allPos[s][a] = allPos[s][a] + 1 == b.size() ? 0 : allPos[s][a] + 1;
                acc = y - acc;
            }
            out[s] = acc;
        }
        m.left[i] += 0.5f * el + out[0];
        m.right[i] += 0.5f * er + out[1];
    }
}

int usage(const char * szError)
{
    if (szError)
        std::fprintf(stderr, "qor-gen-music: %s\n", szError);
    std::fprintf(stderr, "usage: qor-gen-music OUT.mp3 [--seed N] [--bitrate KBPS] [--preview UNITS] [--report]\n"
                         "  --seed N        melody seed, 0..4294967295 (default 243)\n"
                         "  --bitrate KBPS  constant bit rate, 128..320 (default 192)\n"
                         "  --preview UNITS only the first UNITS frame units of 1/30 s, 1..9322\n"
                         "  --report        print each section's start, length, tempo and loudness\n");
    return e_exitUsage;
}

int fail(const std::string & msg)
{
    std::fprintf(stderr, "qor-gen-music: %s\n", msg.c_str());
    return e_exitFailure;
}
} // namespace

int main(int argc, char ** argv)
{
    std::string out;
    long seed = 243, bitrate = 192, preview = 0;
    bool bReport = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h")
        {
            usage(nullptr);
            return e_exitOk;
        }
        if (a == "--seed" && i + 1 < argc)
        {
            if (!parseInt(argv[++i], 0, 4294967295L, seed))
                return usage("--seed takes a number from 0 to 4294967295");
        }
        else if (a == "--bitrate" && i + 1 < argc)
        {
            if (!parseInt(argv[++i], 128, 320, bitrate))
                return usage("--bitrate takes a number from 128 to 320");
        }
        else if (a == "--preview" && i + 1 < argc)
        {
            if (!parseInt(argv[++i], 1, 9322, preview))
                return usage("--preview takes a number of frame units from 1 to 9322");
        }
        else if (a == "--report")
            bReport = true;
        else if (!a.empty() && a[0] == '-')
            return usage(("unknown option or missing value: " + a).c_str());
        else if (out.empty())
            out = a;
        else
            return usage("one output file only");
    }
    if (out.empty())
        return usage("no output file");
    std::string err;
    if (!checkOutputPath(out, err))
        return fail(err);

    // Sections: the screens laid end to end; each tempo is the one nearest the section's own
    // that fills it with whole bars.
    std::vector<Section> sections;
    size_t total = 0;
    for (int iScreen = 0; iScreen < kNbScreen; ++iScreen)
    {
        const Screen & s = s_aScreen[iScreen];
        Section sec;
        sec.kind = s.kind;
        sec.start = total;
        sec.length = (size_t)g_aBuiltinShow[iScreen].nDuration * kSamplesPerUnit;
        sec.transpose = s.transpose;
        const double target = s.kind == e_inter ? 96 : s.kind == e_endScroll ? 108 : s.kind == e_theEnd ? 72 : 126;
        const double seconds = (double)sec.length / kRate;
        sec.bars = std::max(1, (int)std::lround(seconds * target / 240.0));
        sec.bpm = sec.bars * 240.0 / seconds;
        sec.step = (double)sec.length / (sec.bars * 16);
        sections.push_back(sec);
        total += sec.length;
    }

    if (preview > 0)
        total = (size_t)preview * kSamplesPerUnit;
    Mix m(total);
    for (int i = 0; i < kNbScreen; ++i)
        if (sections[i].start < total)
            renderSection(m, sections[i], (uint64_t)seed, i);
    effects(m);

    // Section levels, a fader moved in 20 ms at each change: the interludes sit well under the
    // chapters, the end scroll between them.
    {
        auto level = [](eKind k) {
            switch (k)
            {
            case e_inter: return 0.6;
            case e_endScroll: return 0.6;
            case e_intro: return 0.8;
            case e_theEnd: return 0.3;
            default: return 1.0;
            }
        };
        double g = level(sections[0].kind);
        const double glide = 1.0 / (0.02 * kRate);
        for (const Section & sec : sections)
        {
            const double target = level(sec.kind);
            for (size_t k = sec.start; k < sec.start + sec.length && k < total; ++k)
            {
                g += std::clamp(target - g, -glide, glide);
                m.left[k] *= (float)g;
                m.right[k] *= (float)g;
            }
        }
    }

    // Master: the black breaks cut everything that rings on (60 ms fade) and keep only their own
    // swell, added after the cut; the end fades out over its last three seconds; a soft
    // limiter keeps peaks under full scale.
    {
        for (int i = 0; i < kNbScreen; ++i)
        {
            const Section & sec = sections[i];
            for (size_t k = 0; k < sec.length && sec.start + k < total; ++k)
            {
                double g = 1.0;
                if (sec.kind == e_black)
                    g = std::max(0.0, 1.0 - (double)k / (0.06 * kRate));
                else if (sec.kind == e_theEnd)
                    g = std::min(1.0, (double)(sec.length - k) / (3.0 * kRate));
                m.left[sec.start + k] *= (float)g;
                m.right[sec.start + k] *= (float)g;
            }
            if (sec.kind == e_black && sec.start < total)
            {
                Rng r((uint64_t)seed * 1000 + i);
                riser(m, r, sec.start, sec.length, 0.35);
            }
        }
        for (size_t j = 0; j < total; ++j)
        {
            m.left[j] = (float)std::tanh(m.left[j] * 1.1);
            m.right[j] = (float)std::tanh(m.right[j] * 1.1);
        }
    }

    if (bReport)
    {
        std::printf("screen\tscript\tstart_s\tlength_s\tbars\tbpm\trms_dB\n");
        for (int i = 0; i < kNbScreen && sections[i].start < total; ++i)
        {
            const Section & sec = sections[i];
            const size_t end = std::min(sec.start + sec.length, total);
            double sum = 0;
            for (size_t k = sec.start; k < end; ++k)
                sum += (double)m.left[k] * m.left[k] + (double)m.right[k] * m.right[k];
            const double rms = std::sqrt(sum / (2.0 * (double)(end - sec.start)));
            std::printf("%d\t%s\t%.3f\t%.3f\t%d\t%.2f\t%.1f\n", i, g_aBuiltinShow[i].szScript,
                        (double)sec.start / kRate, (double)sec.length / kRate, sec.bars, sec.bpm,
                        20 * std::log10(rms + 1e-12));
        }
    }

    // Encoding: constant bit rate, no ID3 tag; the LAME info frame at the start carries the
    // encoder delay and padding, so decoders that honour it return exactly the samples above.
    lame_global_flags * gf = lame_init();
    if (!gf)
        return fail("cannot start LAME");
    lame_set_in_samplerate(gf, kRate);
    lame_set_out_samplerate(gf, kRate);
    lame_set_num_channels(gf, 2);
    lame_set_mode(gf, JOINT_STEREO);
    lame_set_brate(gf, (int)bitrate);
    lame_set_VBR(gf, vbr_off);
    lame_set_quality(gf, 7);
    lame_set_bWriteVbrTag(gf, 1);
    lame_set_write_id3tag_automatic(gf, 0);
    if (lame_init_params(gf) < 0)
    {
        lame_close(gf);
        return fail("LAME refused the parameters");
    }
    std::vector<unsigned char> mp3;
    mp3.reserve((size_t)(total / (double)kRate * bitrate * 1000 / 8) + 65536);
    const int kChunk = 65536;
    std::vector<unsigned char> buf((size_t)(1.25 * kChunk) + 7200);
    bool bOk = true;
    for (size_t i = 0; bOk && i < total; i += kChunk)
    {
        const int n = (int)std::min((size_t)kChunk, total - i);
        const int got = lame_encode_buffer_ieee_float(gf, &m.left[i], &m.right[i], n, buf.data(), (int)buf.size());
        bOk = got >= 0;
        if (bOk)
            mp3.insert(mp3.end(), buf.begin(), buf.begin() + got);
    }
    if (bOk)
    {
        const int got = lame_encode_flush(gf, buf.data(), (int)buf.size());
        bOk = got >= 0;
        if (bOk)
            mp3.insert(mp3.end(), buf.begin(), buf.begin() + got);
    }
    if (bOk)
    {
        // The info frame was reserved as the first frame: fill it in now.
        const size_t nTag = lame_get_lametag_frame(gf, buf.data(), buf.size());
        if (nTag > 0 && nTag <= mp3.size())
            std::copy(buf.begin(), buf.begin() + nTag, mp3.begin());
    }
    lame_close(gf);
    if (!bOk)
        return fail("MP3 encoding failed");
    if (!writeFileSafe(out, mp3.data(), mp3.size(), err))
        return fail(err);
    return e_exitOk;
}
