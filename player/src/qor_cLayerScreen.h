// A layer screen: what the show displays at one moment, an ordered stack of layers built by a
// screen script. Each frame the sequencer calls, in this order:
//
//     screen.update(&dt);          // dt in frames of 1/30 second
//     screen.renderToTextures();   // layers drawn into textures by other layers
//     disp->beginScene(); disp->clear(3);
//     screen.render();
//     disp->endScene(); disp->present();
#pragma once

#include "qor_cList.h"
#include "qor_types.h"

class qor_cScene;

class qor_cLayerScreen
{
public:
    qor_cLayerScreen();
    virtual ~qor_cLayerScreen();
    qor_cLayerScreen(const qor_cLayerScreen &) = delete;
    qor_cLayerScreen & operator=(const qor_cLayerScreen &) = delete;

    // Runs the compiled screen script "scripts/exe/" + szScript with the screen native table
    // ("addLayer"), this screen being the natives' current screen. False (logged) when the
    // script failed; the layers it added before the failure stay.
    bool loadFromScript(cchar * szScript);
    // Appends a layer (a qor_cLayer, or any scene), owned (deleted with the screen). False when
    // the list cannot grow.
    bool addLayer(qor_cScene * pLayer);

    // Clears the display's render-target slots for the new frame, then updates every layer in
    // order by *dt frames.
    void update(const float * dt);
    // Draws the layers drawn into textures (the additional layers of each layer, in order)
    // into their textures, between the display's saveScreenTarget and restoreScreenTarget. It
    // comes after update and before the frame's beginScene.
    void renderToTextures();
    // Draws every layer in order into the current target.
    void render();
    // Every layer back to time 0.
    void rewind();
    // The layers of other (a screen built again from its script) replace this screen's, which
    // are deleted; other is left empty.
    void takeLayers(qor_cLayerScreen & other);

    int getNbLayer() const { return m_lLayer.getNbItem(); }
    qor_cScene * getLayer(int i) const { return m_lLayer.get<qor_cScene>(i); }

private:
    // The additional scenes of pScene's additional scenes, depth first, then pScene's own.
    static void renderTexturesOf(qor_cScene * pScene);

    qor_cList m_lLayer;
};
