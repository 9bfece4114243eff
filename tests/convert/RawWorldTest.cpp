// Binary rasters written by numpy, imported here and compared sample for sample
// with numpy's and GDAL's own reading of the same bytes (raw_world.py).

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#include "TempDir.h"
#include "layer/DataTypes.h"
#include "raw/ImportParams.h"

namespace {

const std::string kScript = std::string(SUITE_SOURCE_DIR) + "/tests/convert/raw_world.py";

std::string Python(const std::string& args)
{
    return testsupport::CommandOutput("/usr/bin/python3 " + kScript + " " + args + " 2>&1");
}

// A numpy type string ("u1", ">i2", "<f8", ">c8") as component type and byte order;
// numpy's complex types are pairs of floats.
bool ComponentOf(const std::string& dtype, int* type, int* order, int* pairs)
{
    *order = dtype[0] == '>' ? 2 : 1;
    const std::string kind = dtype[0] == '>' || dtype[0] == '<' ? dtype.substr(1) : dtype;
    struct Row {
        const char* kind;
        int type;
        int pairs;
    };
    const Row rows[] = {{"u1", UINT8, 1},  {"i1", SINT8, 1},   {"u2", UINT16, 1},  {"i2", SINT16, 1},
                        {"i4", SINT32, 1}, {"f4", FLOAT32, 1}, {"f8", FLOAT64, 1}, {"c8", FLOAT32, 2}};
    for (const Row& r : rows)
        if (kind == r.kind) {
            *type = r.type;
            *pairs = r.pairs;
            return true;
        }
    return false;
}

}  // namespace

TEST(RawWorld, ImportedPixelsEqualNumpysAndGdalsReading)
{
    testsupport::TempDir dir;
    std::istringstream lines(Python("make " + dir.Path()));
    std::string name, dtype;
    int components = 0, header = 0, prefix = 0, reclen = 0, ppr = 0, records = 0;
    std::vector<std::string> comparisons;
    while (lines >> name >> dtype >> components >> header >> prefix >> reclen >> ppr >> records) {
        SCOPED_TRACE(name);
        int type = 0, order = 0, pairs = 0;
        ASSERT_TRUE(ComponentOf(dtype, &type, &order, &pairs)) << dtype;
        struct Window {
            int x, y, w, h;
        };
        for (const Window& win : {Window{0, 0, ppr, records}, Window{5, 7, ppr - 9, records - 12}})
            for (int step : {1, 3}) {
                ImportParams p;
                p.dataFile = dir.File(name);
                p.headerSize = header;
                p.prefixSize = prefix;
                p.recordLength = reclen;
                p.records = records;
                p.pixelsPerRecord = ppr;
                p.componentType = type;
                p.components = components * pairs;
                p.componentSize = GetDataTypeSize(type);
                p.byteOrder = order;
                p.windowX = win.x;
                p.windowY = win.y;
                p.windowWidth = win.w;
                p.windowHeight = win.h;
                p.step = step;
                const std::string out =
                    dir.File(name + "." + std::to_string(win.x) + "." + std::to_string(step) + ".rdp");
                ASSERT_EQ(p.ReadToRdp(out, nullptr), 1);
                std::ostringstream c;
                c << name << " " << dtype << " " << components << " " << header << " " << prefix << " " << reclen
                  << " " << win.x << " " << win.y << " " << win.w << " " << win.h << " " << step << " " << out;
                comparisons.push_back(c.str());
            }
    }
    ASSERT_GE(comparisons.size(), 40u) << Python("make " + dir.Path());
    {
        std::ofstream list(dir.File("comparisons"));
        for (const std::string& c : comparisons)
            list << c << "\n";
    }
    std::istringstream results(Python("compare " + dir.File("comparisons")));
    std::string line;
    for (const std::string& c : comparisons) {
        std::getline(results, line);
        EXPECT_EQ(line, "same") << c;
    }
}
