#pragma once
// Raster layer files, words and outside tools for the vector overlay tests.

#include "Command.h"
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TempDir.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"
#include "vector/VectorImage.h"

namespace vectortest {

// The bit pattern of a float32, as a block word.
inline std::uint32_t F(float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// What a command printed on its standard output (its standard error follows it).
inline std::string RunCommand(const std::string& cmd, int* status = nullptr)
{
    const testsupport::CommandResult run = testsupport::RunCommand(cmd + " 2>&1");
    if (status && run.status != -1)
        *status = run.status;
    return run.output;
}

inline std::string Tool(const std::string& script)
{
    return "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer/" + script;
}

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A 4 x 4 one-layer raster file to hold overlays.
inline void MakeRasterFile(const std::string& path)
{
    CRDPLayer layer;
    ASSERT_NE(layer.CreateLayer(path.c_str(), 4, 4, UINT8, 0), nullptr) << path;
    layer.CloseLayer();
}

inline CVectorImage::Point Pt(float x, float y)
{
    return CVectorImage::Point{x, y, 0};
}

inline void AddLine(CVectorImage& image, int layer, const std::vector<VectorVertex>& vertices)
{
    CVectorImage::LineRecord line(vertices);
    image.Add(layer, line.Get());
}

// Points and lines of a layer as "p x y" and "l x y x y ..." lines, in chain order.
inline std::string Describe(CVectorImage& image, int layer)
{
    std::string out;
    char buf[64];
    for (auto* p = image.SetFirstPoint(layer); p; p = image.GetNextPoint()) {
        std::snprintf(buf, sizeof buf, "p %g %g\n", double(p->x), double(p->y));
        out += buf;
    }
    for (auto* l = image.SetFirstLine(layer); l; l = image.GetNextLine()) {
        out += "l";
        for (int j = 0; j < l->n; ++j) {
            std::snprintf(buf, sizeof buf, " %g %g", double(l->Vertices()[j].x), double(l->Vertices()[j].y));
            out += buf;
        }
        out += "\n";
    }
    return out;
}

}  // namespace vectortest
