#include "Command.h"
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "RdpFileBuilder.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"

namespace {

template <class T>
void WriteRaw(const std::string& path, const std::vector<T>& v)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(v.data()), std::streamsize(v.size() * sizeof(T)));
}

template <class T>
void Fill(CRDPLayer& layer, const std::vector<T>& v)
{
    ASSERT_EQ(layer.TotalSize(), std::int64_t(v.size() * sizeof(T)));
    std::memcpy(layer.Pixels(), v.data(), v.size() * sizeof(T));
}

std::string Output(const std::string& cmd)
{
    return testsupport::CommandOutput(cmd);
}

// Layers written here and converted here, read back by GDAL at the pixel offsets
// the file layout fixes, compared by numpy with what was written and with numpy's
// own conversions.
TEST(RDPLayerGdal, WrittenAndConvertedLayersReadBackThroughGdal)
{
    rdptest::TempDir dir;
    const std::string path = dir.File("cross.rdp");
    constexpr int w = 7, h = 5, n = w * h;
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();

    std::vector<float> f32{nan,    inf,    -inf,   -0.0f, 0.0f,  0.5f,  -1.5f,
                           300.7f, 255.9f, 256.0f, 3e9f,  -3e9f, 1e30f, -1e30f};
    std::vector<std::int16_t> s16{-32768, -1, 0, 1, 255, 256, 32767};
    std::vector<std::complex<float>> c64{{3, -4},       {0, 0},     {-0.0f, 1}, {1e20f, 1e20f},
                                         {1.9f, -1.9f}, {65535, 1}, {nan, 1}};
    for (int i = int(f32.size()); i < n; ++i)
        f32.push_back(float(i * i) * 0.37f - 100.0f);
    for (int i = int(s16.size()); i < n; ++i)
        s16.push_back(std::int16_t(i * 977 - 12000));
    for (int i = int(c64.size()); i < n; ++i)
        c64.push_back({float(i) * 1.25f - 20.0f, 7.5f - float(i)});
    WriteRaw(dir.File("f32.raw"), f32);
    WriteRaw(dir.File("s16.raw"), s16);
    WriteRaw(dir.File("c64.raw"), c64);

    // Offsets as laid out: 84 in a fresh file; 72 behind the old end for appended layers.
    std::vector<std::int64_t> offsets;
    CRDPLayer real, integer, complex;
    ASSERT_NE(real.CreateLayer(path.c_str(), w, h, FLOAT32, 0), nullptr);
    Fill(real, f32);
    offsets.push_back(84);
    auto append = [&](CRDPLayer& layer, int type) {
        const std::int64_t end = rdptest::FileSize(path);
        ASSERT_NE(layer.AddLayer(path.c_str(), w, h, type, 0), nullptr);
        offsets.push_back(end + 72);
    };
    append(integer, SINT16);
    Fill(integer, s16);
    append(complex, CFLOAT32);
    Fill(complex, c64);

    CRDPLayer toDouble, amplitude, bytes;
    append(toDouble, FLOAT64);
    append(amplitude, FLOAT32);
    append(bytes, UINT8);
    ASSERT_EQ(offsets.size(), 6u);
    EXPECT_EQ(toDouble.ReadData(&integer, {0, 0}, {0, 0}, {-1, 0}), 1);
    EXPECT_EQ(amplitude.ReadData(&complex, {0, 0}, {0, 0}, {-1, 0}), 1);
    EXPECT_EQ(bytes.ReadData(&real, {0, 0}, {0, 0}, {-1, 0}), 1);
    for (CRDPLayer* layer : {&real, &integer, &complex, &toDouble, &amplitude, &bytes})
        EXPECT_EQ(layer->CloseLayer(), 1);

    std::string cmd = "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/base/layer_readback_check.py '" + path + "' " +
                      std::to_string(w) + " " + std::to_string(h) + " '" + dir.File("f32.raw") + "' '" +
                      dir.File("s16.raw") + "' '" + dir.File("c64.raw") + "'";
    for (std::int64_t o : offsets)
        cmd += " " + std::to_string(o);
    EXPECT_EQ(Output(cmd + " 2>&1"), "OK\n") << cmd;
}

}  // namespace
