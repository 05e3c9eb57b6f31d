// The instance record of lyr.spectrum~, shared by the binding and its white-box tests.
#pragma once

#include "host_api.h"
#include "spectrum_core.h"

struct t_spectrum {
    hostapi::t_pxobject ob;
    void* outlet;
    void* clock;
    float domain[2];                // attribute "domain": low and high edge in Hz
    hostapi::t_atom_long resize;    // attribute "resize"
    hostapi::t_atom_long logamp;    // attribute "logamp"
    hostapi::t_atom_long logfreq;   // attribute "logfreq"
    hostapi::t_atom_long interval;  // attribute "interval", milliseconds
    hostapi::t_atom_long smooth;    // attribute "smooth"
    hostapi::t_atom* list_atoms;    // list_capacity atoms: the list being sent
    lyrspectrum::Spectrum core;     // sizes, bins, frames, warp and smoothing buffers
};
