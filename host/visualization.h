#pragma once
// The player's side of loading a visualization: the class id under the
// player's Effects key, CoCreateInstance, IWMPEffects2, and SetCore with a
// core that offers the events connection point.

#include "common/win32/com_ptr.h"
#include "options.h"
#include "player_core.h"
#include "wmp/win32/wmp_effects.h"

#include <string>

struct Visualization {
    ComPtr<IWMPEffects2> effects;
    CPlayerCore core;

    Visualization() = default;
    Visualization(const Visualization&) = delete;
    Visualization& operator=(const Visualization&) = delete;
    // As the player lets go: the core first, then the object.
    ~Visualization() {
        if (effects) {
            effects->SetCore(nullptr);
            effects.reset();
        }
    }
};

// Loads the visualization named in the options as the player does and
// chooses the options' preset. With a port or device id for this run, they
// are put in the stored settings just while the plug-in loads them, so that
// it opens that port (a first run is made first if needed), and put back
// after. False with `error` set when anything fails.
bool LoadVisualization(const Options& o, Visualization& v, std::string& error);
