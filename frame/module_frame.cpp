#include "module_frame.h"

#include <string_view>

namespace lyrframe {

void declare_attribute(t_class* c, const AttrDecl& d) {
    t_object* attr = d.array_size > 0
                         ? attr_offset_array_new(d.name, gensym(d.type), d.array_size, 0, nullptr, nullptr, 0, d.offset)
                         : attr_offset_new(d.name, gensym(d.type), 0, nullptr, nullptr, d.offset);
    class_addattr(c, attr);
    for (std::string_view rest = d.sequence; !rest.empty();) {
        const size_t space = rest.find(' ');
        const std::string_view step = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        if (step == "label" && d.label) {
            class_attr_addattr_format(c, d.name, "label", gensym("symbol"), 0, "s", gensym(d.label));
        } else if (step == "style" && d.style) {
            class_attr_addattr_parse(c, d.name, "style", gensym("symbol"), 0, d.style);
        } else if (step == "enumvals" && d.enumvals) {
            class_attr_addattr_parse(c, d.name, "enumvals", gensym("atom"), 0, d.enumvals);
        } else if (step == "order" && d.order) {
            class_attr_addattr_parse(c, d.name, "order", gensym("long"), 0, d.order);
        } else if (step == "default" && d.default_text) {
            auto* type = static_cast<t_symbol*>(object_method(class_attr_get(c, gensym(d.name)), gensym("gettype")));
            class_attr_addattr_parse(c, d.name, "default", type, 0, d.default_text);
        } else if (step == "save" && d.save) {
            class_attr_addattr_parse(c, d.name, "save", gensym("long"), 1, "1");
        } else if (step == "setter" && d.setter) {
            t_object* a = class_attr_get(c, gensym(d.name));
            object_method(a, gensym("setmethod"), gensym("get"), nullptr);
            object_method(a, gensym("setmethod"), gensym("set"), d.setter);
        } else if (step == "clip" && (d.clip_min || d.clip_max)) {
            attr_addfilter_clip(attr, d.min, d.max, d.clip_min, d.clip_max);
        }
    }
}

short creation_argument_count(short argc, const t_atom* argv) {
    short n = 0;
    while (n < argc && !(atom_gettype(&argv[n]) == A_SYM && atom_getsym(&argv[n])->s_name[0] == '@')) ++n;
    return n;
}

void post_banner(const char* class_name) {
    // The class name may not contain a formatting directive; pass it as an argument.
    post("%s : by the lyr authors", class_name);
    post("lyr : analysis and data objects");
}

void assist_text(long kind, long index, char* text, std::span<const char* const> inlets,
                 std::span<const char* const> outlets) {
    std::span<const char* const> texts = kind == ASSIST_INLET ? inlets : outlets;
    if (index < 0 || static_cast<size_t>(index) >= texts.size()) return;
    std::sprintf(text, "%s", texts[static_cast<size_t>(index)]);
}

}  // namespace lyrframe

namespace lyrframe {

lyrcore::Allocator host_allocator() {
    lyrcore::Allocator a;
    a.allocate = [](std::size_t bytes) -> void* {
        if (bytes > static_cast<std::size_t>(0x7fffffff)) return nullptr;  // beyond what the host allocator takes
        return sysmem_newptr(static_cast<long>(bytes));
    };
    a.release = [](void* block) { sysmem_freeptr(block); };
    return a;
}

lyrcore::Reporter host_reporter() {
    lyrcore::Reporter r;
    r.line = [](void*, const char* text) { post("%s", text); };
    return r;
}

}  // namespace lyrframe
