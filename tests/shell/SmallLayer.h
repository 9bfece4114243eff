#pragma once
// A small raster layer file for the shell's tests: a gradient of bytes.

#include <gtest/gtest.h>

#include <string>

#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"

inline void WriteSmallLayer(const std::string& path, int w = 16, int h = 12)
{
    CRDPLayer layer;
    void** rows = layer.CreateLayer(path.c_str(), w, h, UINT8, 5);
    ASSERT_NE(rows, nullptr) << path;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            static_cast<unsigned char*>(rows[y])[x] = static_cast<unsigned char>(x * 16 + y);
    ASSERT_EQ(layer.CloseLayer(), 1);
}
