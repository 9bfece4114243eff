#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "FormatTable.h"
#include "ImpExpDispatch.h"
#include "MirvaneApp.h"
#include "MirvaneStrings.h"
#include "platform/resources/Splash.h"
#include "platform/resources/StringTable.h"
#include "TempDir.h"
#include "raw/RawImportDlg.h"

namespace {

const char* const kEntries[] = {
    "Binary data (*.raw)",  "Format TIFF  (*.tif)",  "CEOS RadarSAT (*.*)",
    "CEOS ERS (*.*)",       "CEOS SIR-C (*.*)",      "ASCII data (*.txt)",
    "Windows Bitmap (*.bmp)", "Format Velmora (*.rdp)", "All files (*.*)",
};

TEST(FormatTable, InputListsShortAndFull)
{
    const FormatList shortList = BuildInputList(false);
    EXPECT_EQ(shortList.codes, (std::vector<int>{0, 1, 5, 6, 7, 8}));
    const FormatList full = BuildInputList(true);
    EXPECT_EQ(full.codes, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));

    for (const FormatList* list : {&shortList, &full}) {
        for (int code = 0; code < kFormatCount; ++code) {
            const int pos = list->PositionOf(code);
            if (pos < 0)
                EXPECT_TRUE(HiddenInShortList(code)) << code;
            else
                EXPECT_EQ(list->CodeAt(pos), code);
        }
        EXPECT_EQ(list->CodeAt(-1), -1);
        EXPECT_EQ(list->CodeAt(int(list->codes.size())), -1);
        EXPECT_EQ(list->PositionOf(9), -1);
    }
    for (int code = 0; code < kFormatCount; ++code)
        EXPECT_EQ(FormatEntryText(code), kEntries[code]);
}

TEST(FormatTable, OutputsPerInput)
{
    for (bool fullList : {false, true}) {
        for (int input = 0; input < kFormatCount; ++input) {
            const FormatList outputs = BuildOutputList(input, fullList);
            const std::vector<int> expected =
                input == FORMAT_RDP ? std::vector<int>{0, 1, 5} : std::vector<int>{7};
            EXPECT_EQ(outputs.codes, expected) << "input " << input;
            for (int k = 0; k < kFormatCount; ++k) {
                EXPECT_EQ(ConversionAllowed(input, k), outputs.PositionOf(k) >= 0);
                if (outputs.PositionOf(k) >= 0) {
                    EXPECT_EQ(outputs.CodeAt(outputs.PositionOf(k)), k);
                }
            }
        }
    }
    for (int bad : {-1, 9}) {
        EXPECT_TRUE(BuildOutputList(bad, true).codes.empty());
        EXPECT_EQ(BuildOutputList(bad, true).PositionOf(7), -1);
        EXPECT_FALSE(ConversionAllowed(bad, 7));
        EXPECT_FALSE(ConversionAllowed(7, bad));
    }
}

TEST(FormatTable, FilterIndexIsPositionPlusOne)
{
    EXPECT_EQ(BuildOutputList(FORMAT_RDP, false).Filter(),
              "Binary data (*.raw)|*.raw|Format TIFF  (*.tif)|*.tif|ASCII data (*.txt)|*.txt||");
    EXPECT_EQ(BuildOutputList(FORMAT_TIFF, false).Filter(), "Format Velmora (*.rdp)|*.rdp||");

    // The n-th pair of the filter (index n, from 1) names the entry at position n - 1.
    for (bool fullList : {false, true}) {
        const FormatList list = BuildInputList(fullList);
        const std::string filter = list.Filter();
        size_t at = 0;
        for (size_t pos = 0; pos < list.codes.size(); ++pos) {
            const size_t bar = filter.find('|', at);
            ASSERT_NE(bar, std::string::npos);
            EXPECT_EQ(filter.substr(at, bar - at), FormatEntryText(list.codes[pos]));
            const size_t next = filter.find('|', bar + 1);
            EXPECT_EQ(filter.substr(bar + 1, next - bar - 1), FormatMask(list.codes[pos]));
            at = next + 1;
        }
        EXPECT_EQ(filter.substr(at), "|");
    }
}

TEST(FormatTable, OutputNameTakesTheOutputExtension)
{
    struct Case {
        const char* input;
        int output;
        const char* expected;
    } const cases[] = {
        {"scene.raw", FORMAT_RDP, "scene.rdp"},
        {"scene.rdp", FORMAT_TIFF, "scene.tif"},
        {"scene.rdp", FORMAT_ASCII, "scene.txt"},
        {"scene.rdp", FORMAT_RAW, "scene.raw"},
        {"a.b.c.tif", FORMAT_RDP, "a.b.c.rdp"},
        {"scene", FORMAT_RDP, "scene.rdp"},      // no extension: the whole name stays
        {".profile", FORMAT_RDP, ".profile.rdp"},  // never just an extension
        {"scene.", FORMAT_RDP, "scene.rdp"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DeriveOutputName(c.input, c.output), c.expected) << c.input;
}

TEST(FormatFileSize, LargestFittingUnitWithOneDecimal)
{
    struct Case {
        std::uint64_t bytes;
        const char* expected;
    } const cases[] = {
        {0, "0 byte"},
        {1023, "1023 byte"},
        {1024, "1.0 Kb"},
        {1536, "1.5 Kb"},
        {1048575, "1024.0 Kb"},
        {1048576, "1.0 Mb"},
        {1073741824, "1.0 Gb"},
        {3221225472u, "3.0 Gb"},
        {5ull << 30, "5.0 Gb"},       // past 32 bits: no wrap
        {1ull << 40, "1024.0 Gb"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatFileSize(c.bytes), c.expected) << c.bytes;
}

// Records every call of a stand-in converter entry.
std::vector<std::pair<std::string, std::string>> g_calls;
int Record(const char* first, const char* second)
{
    g_calls.push_back({first, second});
    return 1;
}

TEST(ConverterDispatch, EachRowPassesThePathsInItsEntrysOrder)
{
    struct Case {
        int input;
        int output;
        const char* entry;
        bool outputFirst;
    } const rows[] = {
        {7, 0, "ExportRaw", true},
        {7, 1, "ExportTIFF", true},
        {7, 5, "LaunchAsciiExport", true},
        {0, 7, "LaunchRawImport", false},
        {8, 7, "LaunchRawImport", false},  // "All files" goes like "Binary data"
        {1, 7, "LaunchTiffImport", false},
        {2, 7, "LaunchCeosRadarsatImport", false},
        {3, 7, "LaunchCeosErsImport", false},
        {4, 7, "LaunchCeosSirCImport", false},
        {5, 7, "LaunchAsciiImport", true},
        {6, 7, "LaunchBmpImport", false},
    };
    for (const Case& c : rows) {
        SCOPED_TRACE(c.entry);
        const ConverterRow* row = FindConverterRow(c.input, c.output);
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(row->entryName, c.entry);

        const ConverterEntry before = SetConverterEntry(c.input, c.output, &Record);
        g_calls.clear();
        EXPECT_TRUE(DispatchConversion(c.input, c.output, "in.x", "out.y"));
        SetConverterEntry(c.input, c.output, before);
        ASSERT_EQ(g_calls.size(), 1u);
        const std::pair<std::string, std::string> expected =
            c.outputFirst ? std::pair<std::string, std::string>{"out.y", "in.x"}
                          : std::pair<std::string, std::string>{"in.x", "out.y"};
        EXPECT_EQ(g_calls[0], expected);
    }
    EXPECT_EQ(FindConverterRow(0, 7), FindConverterRow(8, 7));
}

TEST(ConverterDispatch, PairsWithoutAnEntryDoNothing)
{
    g_calls.clear();
    // Not an offered conversion: no row at all.
    for (std::pair<int, int> pair : {std::pair{0, 1}, {7, 7}, {7, 2}, {7, 8}, {-1, 7}, {9, 7}, {7, -1}}) {
        EXPECT_EQ(FindConverterRow(pair.first, pair.second), nullptr);
        EXPECT_EQ(SetConverterEntry(pair.first, pair.second, &Record), nullptr);
        EXPECT_FALSE(DispatchConversion(pair.first, pair.second, "in", "out"));
    }
    // A row whose converter is not built stays empty and starts nothing.
    ASSERT_NE(FindConverterRow(3, 7), nullptr);
    const ConverterEntry ers = SetConverterEntry(3, 7, nullptr);
    EXPECT_EQ(FindConverterRow(3, 7)->entry, nullptr);
    EXPECT_FALSE(DispatchConversion(3, 7, "in", "out"));
    SetConverterEntry(3, 7, ers);
    EXPECT_TRUE(g_calls.empty());
    // The three CEOS imports are built.
    for (int code : {2, 3, 4})
        EXPECT_NE(FindConverterRow(code, 7)->entry, nullptr) << code;
    // The TIFF and raw imports are, the raw one for "All files" too.
    EXPECT_NE(FindConverterRow(1, 7)->entry, nullptr);
    EXPECT_EQ(FindConverterRow(0, 7)->entry, &LaunchRawImport);
    EXPECT_EQ(FindConverterRow(8, 7)->entry, &LaunchRawImport);
}

class ExecuteChecks : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(m_dir.File("scene.raw")) << "x";
        std::ofstream(m_dir.File("old.rdp")) << "x";
    }
    ExecuteRequest Request(const std::string& input, const std::string& output) const
    {
        ExecuteRequest r;
        r.inputChosen = r.outputNamed = true;
        r.inputCode = FORMAT_RAW;
        r.outputCode = FORMAT_RDP;
        r.inputPath = input;
        r.outputPath = output;
        return r;
    }
    testsupport::TempDir m_dir;
};

TEST_F(ExecuteChecks, RefusalsCarryTheirMessage)
{
    const std::string in = m_dir.File("scene.raw"), out = m_dir.File("scene.rdp");
    struct Case {
        const char* what;
        ExecuteRequest request;
        unsigned id;
        std::string message;
    };
    ExecuteRequest noInput = Request(in, out);
    noInput.inputChosen = false;
    ExecuteRequest noOutput = Request(in, out);
    noOutput.outputNamed = false;
    const std::string missing = m_dir.File("missing.raw");
    const Case cases[] = {
        {"no input", noInput, IDS_SELECT_INPUT, "You should select an input file"},
        {"no output", noOutput, IDS_SELECT_OUTPUT, "You should select an output file"},
        {"empty input path", Request("", out), IDS_NAMES_EMPTY, "File names are Empty"},
        {"empty output path", Request(in, ""), IDS_NAMES_EMPTY, "File names are Empty"},
        {"missing input", Request(missing, out), IDS_INPUT_NOT_FOUND,
         "Unable to found the input file\n" + missing},
        {"folder as input", Request(m_dir.Path(), out), IDS_INPUT_NOT_FOUND,
         "Unable to found the input file\n" + m_dir.Path()},
    };
    for (const Case& c : cases) {
        const ExecuteVerdict v = CheckExecute(c.request);
        EXPECT_TRUE(v.Refused()) << c.what;
        EXPECT_EQ(v.refusalId, c.id) << c.what;
        EXPECT_EQ(v.message, c.message) << c.what;
        EXPECT_EQ(v.inputCode, -1) << c.what;  // nothing to dispatch
    }
}

TEST_F(ExecuteChecks, GoodRequestGivesThePairAndAsksBeforeReplacing)
{
    const std::string in = m_dir.File("scene.raw");
    ExecuteVerdict v = CheckExecute(Request(in, m_dir.File("scene.rdp")));
    EXPECT_FALSE(v.Refused());
    EXPECT_EQ(v.replaceQuestion, "");
    EXPECT_EQ(v.inputCode, FORMAT_RAW);
    EXPECT_EQ(v.outputCode, FORMAT_RDP);
    EXPECT_EQ(v.inputPath, in);
    EXPECT_EQ(v.outputPath, m_dir.File("scene.rdp"));

    const std::string old = m_dir.File("old.rdp");
    v = CheckExecute(Request(in, old));
    EXPECT_FALSE(v.Refused());
    EXPECT_EQ(v.replaceQuestion, "File with name " + old + " already exists.\nReplace it?");
    EXPECT_EQ(v.outputPath, old);
}

// The raw import from x.rdp to x.rdp, by any name, is refused before any converter
// starts: it would read the input while replacing it.
TEST_F(ExecuteChecks, AnOutputThatIsTheInputIsRefused)
{
    const std::string in = m_dir.File("x.rdp");
    std::ofstream(in) << "layer";
    ASSERT_EQ(::symlink(in.c_str(), m_dir.File("link.rdp").c_str()), 0);
    for (const std::string& out : {in, m_dir.Path() + "/./x.rdp", m_dir.File("link.rdp")}) {
        SCOPED_TRACE(out);
        ExecuteRequest r = Request(in, out);
        r.inputCode = FORMAT_ALL_FILES;
        const ExecuteVerdict v = CheckExecute(r);
        EXPECT_TRUE(v.Refused());
        EXPECT_EQ(v.message.rfind("The output file is an input of this conversion:\n" + out, 0), 0u) << v.message;
        EXPECT_EQ(v.replaceQuestion, "");
        EXPECT_EQ(v.inputCode, -1);
    }
    // Letter case makes another file.
    EXPECT_FALSE(CheckExecute(Request(in, m_dir.File("X.rdp"))).Refused());
}

TEST(MirvaneStartUp, AnnouncesItselfAndItsTextsJoinTheChain)
{
    std::vector<std::pair<unsigned long, std::string>> seen;
    plat::SetSplashListener([&](unsigned long code, const std::string& text, QWidget*) {
        seen.push_back({code, text});
    });
    EXPECT_EQ(MirvaneProcessAttach(), 1);
    plat::SetSplashListener({});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, 1u);
    EXPECT_EQ(seen[0].second, "Mirvane Module Initializing...");

    // The host program's own text comes first.
    EXPECT_EQ(LoadMirvaneString(IDS_CONVERSION_CAPTION), "File Conversion");
    static const plat::StringEntry kHost[] = {{IDS_CONVERSION_CAPTION, "Conversion"}};
    plat::StringTableRegistration host("TestHost", kHost, true);
    EXPECT_EQ(LoadMirvaneString(IDS_CONVERSION_CAPTION), "Conversion");
    EXPECT_EQ(plat::LoadString(IDS_FORMAT_NAME_FIRST + 7), "Format Velmora");
}

}  // namespace
