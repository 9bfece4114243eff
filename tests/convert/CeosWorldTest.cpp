// CEOS products made with Python's struct from their layouts, imported here: the
// pixels against numpy's and GDAL's reading of the data file, the tags byte for
// byte against a Python model of the leader (ceos_world.py).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#include "FakeMeter.h"
#include "TempDir.h"
#include "ceos/CeosDescriptor.h"
#include "ceos/CeosImport.h"
#include "layer/RDPFileTags.h"

namespace {

const std::string kScript = std::string(SUITE_SOURCE_DIR) + "/tests/convert/ceos_world.py";

std::string Python(const std::string& args)
{
    return testsupport::CommandOutput("/usr/bin/python3 " + kScript + " " + args + " 2>&1");
}

std::vector<unsigned char> ReadAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

CeosMission MissionOf(const std::string& name)
{
    if (name == "radarsat")
        return CeosMission::Radarsat;
    return name == "ers" ? CeosMission::Ers : CeosMission::SirC;
}

std::string Hex(const std::vector<unsigned char>& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (unsigned char b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

// The tags of the file in their order, as "TAG HEX" lines.
std::string TagLines(const std::string& file)
{
    std::string lines;
    for (int tag = GetNextNoReservedTag(file.c_str(), 0); tag > 0; tag = GetNextNoReservedTag(file.c_str(), tag)) {
        const int size = GetSizeTag(file.c_str(), tag);
        std::vector<unsigned char> payload(std::size_t(std::max(size, 0)));
        GetTag(file.c_str(), tag, size, payload.data());
        lines += std::to_string(tag) + " " + Hex(payload) + "\n";
    }
    return lines;
}

}  // namespace

TEST(CeosWorld, EachMissionImportsPixelsAndTagsAsTheOutsideToolsAndModelSay)
{
    testsupport::TempDir dir;
    std::istringstream lines(Python("make " + dir.Path()));
    std::string mission, data, leader;
    int records = 0, pixels = 0, seen = 0;
    while (lines >> mission >> data >> leader >> records >> pixels) {
        SCOPED_TRACE(mission);
        ++seen;
        const std::vector<unsigned char> head = ReadAll(data);
        CeosFileInfo info;
        ASSERT_EQ(DescribeCeosFile(head.data(), std::int64_t(head.size()), MissionOf(mission), data, &info), 0u);
        EXPECT_EQ(info.params.leaderFile, leader);
        EXPECT_EQ(info.params.records, records);
        EXPECT_EQ(info.params.pixelsPerRecord, pixels);
        struct Window {
            int x, y, w, h;
        };
        for (const Window& win : {Window{0, 0, pixels, records}, Window{3, 5, pixels - 7, records - 9}}) {
            ImportParams p = info.params;
            p.windowX = win.x;
            p.windowY = win.y;
            p.windowWidth = win.w;
            p.windowHeight = win.h;
            const std::string out = dir.File(mission + "_" + std::to_string(win.x) + ".rdp");
            testsupport::FakeMeter meter;
            const CeosOutcome outcome =
                info.compressed ? SirCImportToRdp(p, out, info.groupBytes, &meter) : CeosImportToRdp(p, out, &meter);
            ASSERT_EQ(outcome.result, 1) << outcome.error;
            EXPECT_FALSE(outcome.shortInput);
            const std::string args = mission + " " + data + " " + out + " " + std::to_string(win.x) + " " +
                                     std::to_string(win.y) + " " + std::to_string(win.w) + " " + std::to_string(win.h);
            EXPECT_EQ(Python("pixels " + args), "same\n");
            if (info.compressed) {
                EXPECT_EQ(TagLines(out), "");
                continue;
            }
            const std::string want = Python("tags " + mission + " " + leader + " " + data + " " +
                                            std::to_string(win.x) + " " + std::to_string(win.y) + " " +
                                            std::to_string(win.w) + " " + std::to_string(win.h));
            EXPECT_EQ(TagLines(out), want);
        }
    }
    EXPECT_EQ(seen, 4);
}

TEST(CeosWorld, ImportsLeaveNoFileBehindWhenTheyFail)
{
    testsupport::TempDir dir;
    std::istringstream lines(Python("make " + dir.Path()));
    std::string mission, data, leader;
    int records = 0, pixels = 0;
    while (lines >> mission >> data >> leader >> records >> pixels) {
        SCOPED_TRACE(mission);
        const std::vector<unsigned char> head = ReadAll(data);
        CeosFileInfo info;
        ASSERT_EQ(DescribeCeosFile(head.data(), std::int64_t(head.size()), MissionOf(mission), data, &info), 0u);
        ImportParams p = info.params;
        p.windowWidth = pixels;
        p.windowHeight = records;
        const std::string out = dir.File(mission + ".rdp");
        {
            std::ofstream(out) << "old";
        }
        // Cancelled at the second report: the old file stays as it was.
        testsupport::FakeMeter meter;
        meter.failAt = 2;
        const CeosOutcome cancelled =
            info.compressed ? SirCImportToRdp(p, out, info.groupBytes, &meter) : CeosImportToRdp(p, out, &meter);
        EXPECT_EQ(cancelled.result, 0);
        std::ifstream in(out);
        std::string text;
        in >> text;
        EXPECT_EQ(text, "old");
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path() + "/" + mission))
            ++entries;
        EXPECT_EQ(entries, 2u) << "a temporary was left";
        // The data file cut inside its window: the missing samples read 0.
        const std::string cut = dir.File(mission + "_cut.dat");
        std::filesystem::copy_file(data, cut);
        std::filesystem::resize_file(cut, head.size() - 10);
        p.dataFile = cut;
        p.leaderFlag = 0;
        const CeosOutcome shortOne = info.compressed ? SirCImportToRdp(p, dir.File(mission + "_cut.rdp"), 4, nullptr)
                                                     : CeosImportToRdp(p, dir.File(mission + "_cut.rdp"), nullptr);
        EXPECT_EQ(shortOne.result, 1);
        EXPECT_TRUE(shortOne.shortInput);
        // The output may not be the leader.
        p.dataFile = data;
        p.leaderFlag = 1;
        const std::vector<unsigned char> leaderBefore = ReadAll(leader);
        const CeosOutcome refused = CeosImportToRdp(p, leader, nullptr);
        EXPECT_EQ(refused.result, 0);
        EXPECT_NE(refused.error.find(leader), std::string::npos) << refused.error;
        EXPECT_EQ(ReadAll(leader), leaderBefore);
    }
}

TEST(CeosWorld, TagsThatTheFilesCannotHoldAreLeftOut)
{
    testsupport::TempDir dir;
    std::istringstream lines(Python("make " + dir.Path()));
    std::string mission, data, leader;
    int records = 0, pixels = 0;
    std::map<std::string, std::pair<std::string, std::string>> products;
    while (lines >> mission >> data >> leader >> records >> pixels)
        products[mission] = {data, leader};
    ASSERT_EQ(products.size(), 4u);
    auto tagsOf = [](const std::string& file) {
        std::vector<int> tags;
        for (int t = GetNextNoReservedTag(file.c_str(), 0); t > 0; t = GetNextNoReservedTag(file.c_str(), t))
            tags.push_back(t);
        return tags;
    };
    auto import = [&](const std::string& which, const std::string& dataFile, const std::string& out) {
        const std::vector<unsigned char> head = ReadAll(products[which].first);
        CeosFileInfo info;
        EXPECT_EQ(DescribeCeosFile(head.data(), std::int64_t(head.size()), MissionOf(which), dataFile, &info), 0u);
        ImportParams p = info.params;
        p.leaderFile = products[which].second;
        p.windowWidth = pixels;
        p.windowHeight = records;
        const CeosOutcome outcome = CeosImportToRdp(p, out, nullptr);
        EXPECT_EQ(outcome.result, 1) << outcome.error;
        return tagsOf(out);
    };
    // A RADARSAT data file that ends inside its last record's prefix, before the
    // corners: no corners from the records.
    const std::string cut = dir.File("radarsat/cut.001");
    std::filesystem::copy_file(products["radarsat"].first, cut);
    const std::uintmax_t recordLength = 192 + 2 * std::uintmax_t(pixels);
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - recordLength + 140);
    EXPECT_EQ(import("radarsat", cut, dir.File("cut.rdp")), (std::vector<int>{300, 303, 308, 307, 306, 305}));
    EXPECT_EQ(import("radarsat", products["radarsat"].first, dir.File("whole.rdp")),
              (std::vector<int>{300, 303, 308, 307, 301, 302, 306, 305}));
    // A leader too large for tag 300's length (a sparse file) counts as none.
    std::filesystem::resize_file(products["ers"].second, std::uintmax_t(1) << 31);
    EXPECT_EQ(import("ers", products["ers"].first, dir.File("huge.rdp")), std::vector<int>{});
    // No leader at all: no tags, the import itself succeeds.
    std::filesystem::remove(products["sirc"].second);
    EXPECT_EQ(import("sirc", products["sirc"].first, dir.File("none.rdp")), std::vector<int>{});
}
