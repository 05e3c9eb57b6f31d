// The instance record of lyr.centroid~, shared by the binding and its white-box tests.
#pragma once

#include "centroid_core.h"
#include "host_api.h"

struct t_centroid {
    hostapi::t_pxobject ob;
    lyrcentroid::Centroid core;  // sample rate, sizes, frames, sums, centroid, logamp
};
