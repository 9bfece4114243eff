// Arbitrary bytes as a CEOS product. Byte 0 picks what is exercised (even: the data file,
// odd: the leader alone), bytes 1 and 2 (little-endian) the length of the data
// file, the rest is the leader.
// - Data file: its descriptor is read for a mission the input picks; when usable, a
//   small window is imported with the leader's tags, and the output must bind with
//   the window's shape and type, its tags walk in their order with each length its
//   layout's (tag 300 the leader's length, 306 the points that 305 counts).
// - Leader: the record walk, the tag builders, the information text (from the bytes
//   and from the file, equal), and the tag writers onto a small layer file, whose
//   tags must walk as above.
// At exit the counts of each part are printed ("CEOS_FUZZ").

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ceos/CeosDescriptor.h"
#include "ceos/CeosFields.h"
#include "ceos/CeosImport.h"
#include "ceos/CeosLeader.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"

namespace {

using fuzzsupport::g_step;

std::int32_t Int(const std::vector<unsigned char>& b, std::size_t at)
{
    std::int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

void CheckLeaderAlone(std::span<const unsigned char> leader, fuzzsupport::Dice& dice)
{
    g_step = "walk";
    const std::vector<LeaderRecordHeader> headers = WalkLeaderRecords(leader);
    std::int64_t end = 0;
    for (const LeaderRecordHeader& h : headers) {
        FUZZ_CHECK(h.length >= 12);
        end += h.length;
    }
    FUZZ_CHECK(end <= std::int64_t(leader.size()));
    if (!headers.empty())
        FUZZ_CHECK(LeaderRecordOffset(headers.data(), int(headers.size()) - 1) + headers.back().length == end);

    g_step = "orbit payloads";
    const OrbitPayloads orbit = BuildOrbitPayloads(leader, dice.Next(2) == 1);
    FUZZ_CHECK(orbit.commonParams.size() == 264 && Int(orbit.commonParams, 0) == 264);
    const std::int32_t points = Int(orbit.commonParams, 200);
    FUZZ_CHECK(points >= 0);
    if (orbit.stateVectors) {
        FUZZ_CHECK(orbit.stateVectors->size() == 8 + 48 * std::size_t(points));
        FUZZ_CHECK(Int(*orbit.stateVectors, 0) == std::int32_t(orbit.stateVectors->size()));
    } else {
        FUZZ_CHECK(points == 0);
    }

    g_step = "information text";
    const std::string text = CeosInfoText(leader);
    if (text != CeosInfoUnreadableText()) {
        // Every field's line in the table's order (a field's own characters may
        // hold line breaks too).
        static const std::vector<CeosFieldEntry> entries = ParseCeosFieldTable(CeosFieldResource());
        std::size_t at = 0, lines = 0;
        for (const CeosFieldEntry& e : entries) {
            if (e.letter == '$')
                continue;
            at = text.find(e.label + " : ", at);
            FUZZ_CHECK(at != std::string::npos);
            ++lines;
        }
        FUZZ_CHECK(lines == 88);
        FUZZ_CHECK(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
    }
}

// The tags an import writes, in their order, and each one's length (0: depends).
struct Expected {
    int tag;
    int size;
};
const Expected kOrder[] = {{300, 0}, {303, 24}, {308, 56}, {307, 20}, {301, 72}, {302, 72}, {306, 0}, {305, 264}};

void CheckOutput(const std::string& out, const ImportParams& p, int type, bool compressed, std::size_t leaderSize,
                 bool corners)
{
    g_step = "bind output";
    {
        CRDPLayer layer;
        FUZZ_CHECK(layer.OpenLayer(out.c_str(), 0) != nullptr);
        FUZZ_CHECK(layer.Width() == p.windowWidth && layer.Height() == p.windowHeight && layer.Type() == type);
        layer.CloseLayer();
    }
    g_step = "walk tags";
    std::size_t next = 0;
    std::int32_t points = -1;
    std::vector<int> seen;
    for (int tag = GetNextNoReservedTag(out.c_str(), 0); tag > 0; tag = GetNextNoReservedTag(out.c_str(), tag)) {
        FUZZ_CHECK(seen.size() < 16);
        seen.push_back(tag);
        while (next < std::size(kOrder) && kOrder[next].tag != tag)
            ++next;
        FUZZ_CHECK(next < std::size(kOrder));
        const int size = GetSizeTag(out.c_str(), tag);
        FUZZ_CHECK(size >= 8);
        std::vector<unsigned char> payload(static_cast<std::size_t>(size));
        FUZZ_CHECK(GetTag(out.c_str(), tag, size, payload.data()) != 0);
        FUZZ_CHECK(Int(payload, 0) == size && Int(payload, 4) == 1);
        if (kOrder[next].size)
            FUZZ_CHECK(size == kOrder[next].size);
        if (tag == 300)
            FUZZ_CHECK(std::size_t(size) == leaderSize + 8);
        if (tag == 306) {
            FUZZ_CHECK((size - 8) % 48 == 0);
            points = (size - 8) / 48;
        }
        if (tag == 305 && points >= 0)
            FUZZ_CHECK(Int(payload, 200) == points);
        ++next;
    }
    if (compressed) {
        FUZZ_CHECK(seen.empty());
        return;
    }
    // The leader is there: its tag and the window's always are.
    FUZZ_CHECK(seen.size() >= 4 && seen[0] == 300 && seen[1] == 303 && seen[2] == 308 && seen[3] == 307);
    if (p.productKind != 3 && leaderSize > 11)
        FUZZ_CHECK(seen.back() == 305);
    if (p.productKind == 1 && corners)
        FUZZ_CHECK(seen.size() >= 6 && seen[4] == 301 && seen[5] == 302);
    if (p.productKind == 3)
        FUZZ_CHECK(seen.size() == 4);
}

}  // namespace

struct Counts {
    long data = 0, imported = 0, leader = 0;
    ~Counts() { std::fprintf(stderr, "CEOS_FUZZ data=%ld imported=%ld leader=%ld\n", data, imported, leader); }
};
Counts g_counts;

// A 4 x 3 UINT8 layer without tags, made once; each leader run writes onto a copy.
const std::vector<uint8_t>& BlankLayer(const std::string& dir)
{
    static const std::vector<uint8_t> bytes = [&] {
        const std::string path = dir + "/blank.rdp";
        {
            CRDPLayer layer;
            if (layer.CreateLayer(path.c_str(), 4, 3, UINT8, 0) == nullptr)
                abort();
            layer.CloseLayer();
        }
        std::vector<uint8_t> b = fuzzsupport::ReadFile(path);
        std::remove(path.c_str());
        return b;
    }();
    return bytes;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string dir = fuzzsupport::ScratchName("fuzz_ceos");
    static const std::string dataPath = dir + "/dat_01.001";
    static const std::string leaderPath = dir + "/lea_01.001";
    static const std::string out = dir + "/out.rdp";
    if (size < 3)
        return 0;
    fuzzsupport::Dice dice(data, size);
    const bool leaderOnly = (data[0] & 1) != 0;
    const std::size_t dataSize = std::min<std::size_t>(data[1] | std::size_t(data[2]) << 8, size - 3);
    const std::span<const unsigned char> bytes(data + 3, dataSize);
    const std::span<const unsigned char> leader(data + 3 + dataSize, size - 3 - dataSize);

    if (leaderOnly) {
        ++g_counts.leader;
        CheckLeaderAlone(leader, dice);
        g_step = "fill text";
        fuzzsupport::WriteFile(leaderPath, leader.data(), leader.size());
        FUZZ_CHECK(FillText(leaderPath) == CeosInfoText(leader));
        g_step = "tag writers";
        const std::vector<uint8_t>& blank = BlankLayer(dir);
        fuzzsupport::WriteFile(out, blank.data(), blank.size());
        ImportParams p;
        p.productKind = 1 + int(dice.Next(3));
        p.records = 1 + int(dice.Next(1000));
        p.pixelsPerRecord = 1 + int(dice.Next(1000));
        p.windowX = int(dice.Next(std::uint32_t(p.pixelsPerRecord)));
        p.windowY = int(dice.Next(std::uint32_t(p.records)));
        p.windowWidth = 1 + int(dice.Next(std::uint32_t(p.pixelsPerRecord - p.windowX)));
        p.windowHeight = 1 + int(dice.Next(std::uint32_t(p.records - p.windowY)));
        p.byteOrder = 1 + int(dice.Next(2));
        // The data records' corners come from the leader's first bytes, when there.
        const unsigned char* first = leader.size() >= 24 ? leader.data() : nullptr;
        const unsigned char* last = leader.size() >= 48 ? leader.data() + 24 : nullptr;
        FUZZ_CHECK(WriteCeosTags(p, out, leader, first, last, nullptr));
        ImportParams shape = p;
        shape.windowWidth = 4;
        shape.windowHeight = 3;
        CheckOutput(out, shape, UINT8, false, leader.size(), first && last);
        std::remove(out.c_str());
        return 0;
    }

    ++g_counts.data;
    g_step = "descriptor";
    const CeosMission mission = CeosMission(1 + dice.Next(3));
    CeosFileInfo info;
    if (DescribeCeosFile(bytes.data(), std::int64_t(bytes.size()), mission, dataPath, &info) != 0)
        return 0;
    const ImportParams& file = info.params;
    FUZZ_CHECK(file.records >= 1 && file.pixelsPerRecord >= 1 && file.headerSize > 0);
    FUZZ_CHECK(std::int64_t(file.recordLength) >= file.prefixSize + std::int64_t(file.pixelsPerRecord) * info.groupBytes);
    fuzzsupport::WriteFile(dataPath, bytes.data(), bytes.size());
    fuzzsupport::WriteFile(leaderPath, leader.data(), leader.size());
    ImportParams p = file;
    p.windowX = int(dice.Next(std::uint32_t(file.pixelsPerRecord)));
    p.windowY = int(dice.Next(std::uint32_t(file.records)));
    p.windowWidth = 1 + int(dice.Next(std::uint32_t(std::min(file.pixelsPerRecord - p.windowX, 48))));
    p.windowHeight = 1 + int(dice.Next(std::uint32_t(std::min(file.records - p.windowY, 48))));
    FUZZ_CHECK(CeosWindowFits(p.windowX, p.windowY, p.windowWidth, p.windowHeight, file.pixelsPerRecord, file.records));
    p.leaderFile = leaderPath;

    g_step = "import";
    const CeosOutcome outcome =
        info.compressed ? SirCImportToRdp(p, out, info.groupBytes, nullptr) : CeosImportToRdp(p, out, nullptr);
    FUZZ_CHECK(outcome.result == 1);
    ++g_counts.imported;
    const int type = info.compressed ? CFLOAT64 : GetComplexType(file.componentType, file.components);
    const std::int64_t lastCorners =
        std::int64_t(file.headerSize) + std::int64_t(file.records - 1) * file.recordLength + 132 + 24;
    const bool corners = file.prefixSize >= 156 && std::int64_t(bytes.size()) >= lastCorners;
    CheckOutput(out, p, type, info.compressed, leader.size(), corners);
    std::remove(out.c_str());
    return 0;
}
