// Shared pieces of every module: attribute declaration, assist texts and the
// credit banner, each following the one pattern all classes use.
#pragma once

#include <span>

#include "host_api.h"

namespace lyrframe {

using namespace hostapi;

// One attribute of a class, as its object declares it. Texts left null are not
// declared; clips apply only where their flag is set.
struct AttrDecl {
    const char* name;
    const char* type;         // "long" or "float32"
    long offset;              // position of the field in the instance record
    long array_size = 0;      // 0 for a single value, else the maximum element count
    const char* label = nullptr;
    const char* style = nullptr;     // "onoff" or "enumindex"
    const char* enumvals = nullptr;
    const char* order = nullptr;     // display order as a number text
    const char* default_text = nullptr;
    bool save = true;
    bool clip_min = false;
    double min = 0.0;
    bool clip_max = false;
    double max = 0.0;
    method setter = nullptr;  // custom "set" accessor; the host's getter stays
    // The order of the declaration calls after creation, as words: label, style,
    // enumvals, order, default, save, setter, clip. Steps without a value are skipped.
    const char* sequence = "label style enumvals order default save setter clip";
};

// Creates the attribute, adds it to the class, then declares its properties,
// custom setter and clip filter in the order `sequence` gives.
void declare_attribute(t_class* c, const AttrDecl& decl);

// How many creation arguments stand before the first attribute name ("@name"):
// in "1024 @interval 500" only the 1024 is a creation argument.
short creation_argument_count(short argc, const t_atom* argv);

// The two console lines every class posts when its module defines it.
void post_banner(const char* class_name);

// Copies the fixed text for (kind, index) into the host's buffer; an index
// without a text leaves the buffer untouched.
void assist_text(long kind, long index, char* text, std::span<const char* const> inlets,
                 std::span<const char* const> outlets);

}  // namespace lyrframe

#include "core_support.h"

namespace lyrframe {

// The host's allocator (sysmem_newptr / sysmem_freeptr) for a core.
lyrcore::Allocator host_allocator();
// A reporter that posts each line to the host console.
lyrcore::Reporter host_reporter();

}  // namespace lyrframe
