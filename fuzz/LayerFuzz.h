#pragma once
// What both layer file targets read of a file through the path-based tag
// functions: the version, and for layers 0 to maxLayers the tag count, up to
// eight steps along the chain and along its user tags.

#include "layer/RDPFileTags.h"

namespace fuzzsupport {

inline void ReadFileLevel(const char* file, int layers, int maxLayers)
{
    GetVersion(file);
    static unsigned char buf[1 << 16];
    for (int layer = 0; layer <= maxLayers && layer <= layers; ++layer) {
        GetNumTag(file, layer);
        int tag = 0;
        for (int i = 0; i < 8; ++i) {
            GetSizeTag(file, layer, tag);
            GetTag(file, layer, tag, sizeof buf, buf);
            tag = GetNextTag(file, layer, tag);
            if (tag == 0)
                break;
        }
        for (int t = GetNextNoReservedTag(file, layer, 0), i = 0; t != 0 && i < 8; ++i)
            t = GetNextNoReservedTag(file, layer, t);
    }
}

}  // namespace fuzzsupport
