#pragma once
// Access to data linked into the executable with corvala_embed_file().

#include <cstddef>
#include <string_view>

#define CORVALA_DECLARE_RESOURCE(name) \
    extern "C" const unsigned char name##_begin[]; \
    extern "C" const unsigned char name##_end[];

#define CORVALA_RESOURCE(name) \
    std::string_view(reinterpret_cast<const char*>(name##_begin), \
                     static_cast<std::size_t>(name##_end - name##_begin))
