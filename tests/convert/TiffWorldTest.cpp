// TIFF files written by tiffcp, GDAL and ImageMagick, imported here and compared
// sample for sample with GDAL's own reading (tiff_world.py).

#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "PalitraTag.h"
#include "TempDir.h"
#include "TiffFixture.h"
#include "layer/RDPFileTags.h"
#include "tiff/TiffImport.h"

namespace {

const std::string kScript = std::string(SUITE_SOURCE_DIR) + "/tests/convert/tiff_world.py";

std::string Python(const std::string& args)
{
    return tifftest::Run("/usr/bin/python3 " + kScript + " " + args);
}

struct Fixture {
    std::string name;
    bool accepted;
};

std::vector<Fixture> MakeFixtures(const std::string& dir)
{
    std::istringstream lines(Python("make " + dir));
    std::vector<Fixture> out;
    std::string name, kind;
    while (lines >> name >> kind)
        out.push_back({name, kind == "ok"});
    return out;
}

bool Has(const std::string& s, const char* part)
{
    return s.find(part) != std::string::npos;
}

}  // namespace

TEST(TiffWorld, ImportedPixelsEqualGdalsReading)
{
    testsupport::TempDir dir;
    const std::vector<Fixture> fixtures = MakeFixtures(dir.Path());
    ASSERT_GE(fixtures.size(), 20u) << Python("make " + dir.Path());
    // Every import is done first; one run of the script then compares them all.
    std::vector<std::string> comparisons;
    for (const Fixture& f : fixtures) {
        if (!f.accepted)
            continue;
        SCOPED_TRACE(f.name);
        const std::string in = dir.File(f.name), out = dir.File(f.name + ".rdp");
        ExternFileInfo info;
        ASSERT_EQ(ProbeTIFFFile(in, &info), 1);
        std::string error;
        ASSERT_EQ(ImportTIFFFile(in, out, nullptr, &error), 0) << error;
        const std::string size = " 0 0 " + std::to_string(info.width) + " " + std::to_string(info.height) + " ";
        std::string mode = Has(f.name, "rgb") ? "rgba" : "single";
        if (Has(f.name, "pal")) {
            PalitraTag tag;
            ASSERT_EQ(GetTag(out.c_str(), 201, int(sizeof tag), &tag), 1);
            const std::string tagFile = dir.File(f.name + ".tag201");
            tifftest::WriteFile(tagFile, tifftest::Bytes(reinterpret_cast<unsigned char*>(&tag),
                                                         reinterpret_cast<unsigned char*>(&tag) + sizeof tag));
            mode = "palette:" + tagFile;
        }
        comparisons.push_back(in + size + mode + " " + out);

        // A window across strips; RGB also as three planes.
        CTIFFReader reader(in);
        ASSERT_EQ(reader.ReadDirectory(), 0);
        ASSERT_EQ(reader.InterpretTags(), 1);
        int bpp = 0;
        ASSERT_EQ(reader.CheckInput(&bpp), 0);
        for (bool planes : {false, true}) {
            if (planes && bpp != 3)
                continue;
            const std::string windowOut = dir.File(f.name + (planes ? ".planes.rdp" : ".window.rdp"));
            TiffImportJob job(in, windowOut, reader);
            job.bytesPerPixel = bpp;
            job.separate = planes;
            job.outBytesPerPixel = bpp == 3 ? (planes ? 3 : 4) : bpp;
            job.x = 13;
            job.y = 17;
            job.width = info.width - 29;
            job.height = info.height - 40;
            ASSERT_EQ(TIFFToRdp(job, nullptr, &error), 0) << error;
            std::string files = windowOut;
            if (planes) {
                files.clear();
                for (const std::string& plane : SeparatePlaneNames(windowOut))
                    files += plane + " ";
            }
            comparisons.push_back(in + " 13 17 " + std::to_string(job.width) + " " + std::to_string(job.height) + " " +
                                  (planes ? "planes" : mode) + " " + files);
        }
    }
    std::string list;
    for (const std::string& c : comparisons)
        list += c + "\n";
    tifftest::WriteFile(dir.File("comparisons"), tifftest::Bytes(list.begin(), list.end()));
    std::istringstream results(Python("compare " + dir.File("comparisons")));
    std::string line;
    for (const std::string& c : comparisons) {
        std::getline(results, line);
        EXPECT_EQ(line, "same") << c;
    }
}

TEST(TiffWorld, RefusedFilesSayWhy)
{
    testsupport::TempDir dir;
    const std::vector<Fixture> fixtures = MakeFixtures(dir.Path());
    int refused = 0;
    for (const Fixture& f : fixtures) {
        if (f.accepted)
            continue;
        ++refused;
        SCOPED_TRACE(f.name);
        const bool damaged = Has(f.name, "tiled") || Has(f.name, "bigtiff");
        std::string error;
        EXPECT_EQ(ImportTIFFFile(dir.File(f.name), dir.File("out.rdp"), nullptr, &error), -1);
        EXPECT_EQ(error.rfind(damaged ? "Invalid format of the input file\n" : "Unsupported data type\n", 0), 0u)
            << error;
        EXPECT_EQ(ProbeTIFFFile(dir.File(f.name), nullptr), damaged ? 0 : 1);
        EXPECT_EQ(::access(dir.File("out.rdp").c_str(), F_OK), -1);
    }
    EXPECT_GE(refused, 8);
}
