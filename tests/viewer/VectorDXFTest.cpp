#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/paint/SysColors.h"
#include "VectorTestSupport.h"
#include "vector/VectorDXF.h"

using namespace vectortest;

namespace {

constexpr plat::ColorRef kRed = plat::Rgb(255, 0, 0);

// Points and lines of a layer as "p x y" / "l x1 y1 x2 y2" with every float32 in full.
std::string Exact(CVectorImage& image, int layer)
{
    std::ostringstream out;
    char buf[48];
    auto num = [&](float v) {
        std::snprintf(buf, sizeof buf, " %.9g", double(v));
        return std::string(buf);
    };
    for (auto* p = image.SetFirstPoint(layer); p; p = image.GetNextPoint())
        out << "p" << num(p->x) << num(p->y) << "\n";
    for (auto* l = image.SetFirstLine(layer); l; l = image.GetNextLine()) {
        out << "l";
        for (int j = 0; j < l->n; ++j)
            out << num(l->Vertices()[j].x) << num(l->Vertices()[j].y);
        out << "\n";
    }
    return out.str();
}

class DxfExchange : public ::testing::Test {
protected:
    // An overlay of `layers` layers, ready to be filled.
    void Fresh(CVectorImage& image, int layers = 1)
    {
        ASSERT_EQ(image.Create(dir.File("image.rdp").c_str()), 1);
        for (int i = 0; i < layers; ++i)
            image.AddLayer(kRed);
    }

    testsupport::TempDir dir;
    std::string dxf = dir.File("overlay.dxf");
};

// One layer: a line of three vertices (two LINEs) and a point.
void FillSmall(CVectorImage& image)
{
    AddLine(image, 0, {{1.5f, 2.0f}, {3.25f, -4.0f}, {1e6f, 0.1f}});
    image.Add(0, Pt(7.0f, 8.5f));
}

TEST_F(DxfExchange, WrittenTextIsTheDrawingByteForByte)
{
    CVectorImage image;
    Fresh(image);
    FillSmall(image);
    ASSERT_EQ(VectorToDXF(dxf.c_str(), &image, 640, 480, -1), 1);
    std::string want = "  0\nSECTION\n  2\nHEADER\n"
                       "  9\n$ACADVER\n  1\nAC1006\n"
                       "  9\n$ANGBASE\n  50\n0.0\n"
                       "  9\n$ANGDIR\n  70\n0\n"
                       "  9\n$AUNITS\n  70\n0\n"
                       "  9\n$AUPREC\n  70\n0\n"
                       "  9\n$COORDS\n  70\n0\n"
                       "  9\n$LIMMIN\n  10\n0\n  20\n0\n"
                       "  9\n$LIMMAX\n  10\n640\n  20\n480\n"
                       "  0\nENDSEC\n  0\nSECTION\n  2\nTABLES\n"
                       "  0\nTABLE\n  2\nLAYER\n 70\n    1\n"
                       "  0\nLAYER\n  2\n0\n  70\n  0\n  62\n  1\n  6\nCONTINUOUS\n"
                       "  0\nENDTAB\n"
                       "  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n"
                       "  0\nLINE\n  8\n0\n  10\n1.5\n  20\n2\n  30\n0.0\n  11\n3.25\n  21\n-4\n  31\n0.0\n"
                       "  0\nLINE\n  8\n0\n  10\n3.25\n  20\n-4\n  30\n0.0\n  11\n1e+06\n  21\n0.1\n  31\n0.0\n"
                       "  0\nPOINT\n  8\n0\n  10\n7\n  20\n8.5\n  30\n0.0\n"
                       "  0\nENDSEC\n  0\nEOF\n";
    std::string crlf;
    for (char c : want)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(ReadAll(dxf), crlf);
}

struct ExportCase {
    const char* name;
    int layers;
    std::function<void(CVectorImage&)> fill;
    int layer;             // exported layer, -1 all
    const char* entities;  // as the outside reader lists them
};

const ExportCase kExports[] = {
    {"a line of three and a point", 1, FillSmall, -1,
     "LINE 0 1.5 2 3.25 -4\nLINE 0 3.25 -4 1000000 0.1\nPOINT 0 7 8.5\n"},
    {"eight layers, the last coloured 1 again", 8,
     [](CVectorImage& v) {
         v.Add(7, Pt(1, 2));
         AddLine(v, 3, {{0, 0}, {1, 1}});
         AddLine(v, 5, {{4, 4}});  // one vertex: no LINE
     },
     -1, "LINE 3 0 0 1 1\nPOINT 7 1 2\n"},
    {"layer 2 of four", 4,
     [](CVectorImage& v) {
         for (int i = 0; i < 4; ++i) {
             v.Add(i, Pt(float(i), 0));
             AddLine(v, i, {{0, float(i)}, {1, float(i)}});
         }
     },
     2, "LINE 2 0 2 1 2\nPOINT 2 2 0\n"},
};

TEST_F(DxfExchange, OutsideReaderReadsWhatWeWrite)
{
    for (const ExportCase& c : kExports) {
        SCOPED_TRACE(c.name);
        CVectorImage image;
        Fresh(image, c.layers);
        c.fill(image);
        ASSERT_EQ(VectorToDXF(dxf.c_str(), &image, 1024, 768, c.layer), 1);
        std::string want = "acadver AC1006\ncrlf 1\nlimits 0 0 1024 768\n";
        for (int i = 0; i < c.layers; ++i)
            want += "layer " + std::to_string(i) + " " + std::to_string(i % 7 + 1) + "\n";
        want += std::string(c.entities) + "audit errors 0\n";
        EXPECT_EQ(RunCommand(Tool("dxf_check.py") + " read '" + dxf + "'"), want);
    }
}

TEST_F(DxfExchange, WeReadTheOutsideWritersDrawings)
{
    for (const char* version : {"R12", "R2000"})
        for (const char* ends : {"LF", "CRLF"}) {
            SCOPED_TRACE(std::string(version) + " " + ends);
            const std::string want = RunCommand(Tool("dxf_check.py") + " write '" + dxf + "' " + version + " " + ends);
            CVectorImage image;
            Fresh(image, 2);
            std::string reason;
            ASSERT_EQ(DXFToVector(&image, dxf.c_str(), 1, &reason), 1) << want;
            EXPECT_EQ(reason, "");
            EXPECT_EQ(Exact(image, 1), want);
            EXPECT_EQ(image.LayerIsEmpty(0), 1);
        }
}

TEST_F(DxfExchange, ReadingBackGivesEverySegmentAsALineAfterThePoints)
{
    CVectorImage image;
    Fresh(image, 2);
    FillSmall(image);
    image.Add(1, Pt(-1, -2));
    ASSERT_EQ(VectorToDXF(dxf.c_str(), &image, 10, 10, -1), 1);
    const std::string before = ReadAll(dxf);
    CVectorImage back;
    Fresh(back);
    ASSERT_EQ(DXFToVector(&back, dxf.c_str(), 0), 1);
    EXPECT_EQ(Exact(back, 0), "p 7 8.5\np -1 -2\nl 1.5 2 3.25 -4\nl 3.25 -4 1000000 0.100000001\n");
    EXPECT_EQ(ReadAll(dxf), before) << "reading leaves the file as it was";
}

struct ReadCase {
    const char* name;
    const char* text;  // "\n" line ends
    int result;
    const char* got;
    const char* reason;  // part of the reason, "" for none
};

const ReadCase kReads[] = {
    {"names in any case, blanks around",
     "0\nsection\n2\nEntities\n  0 \nPoint\n 10\n 1.5 \n20\n+2\n0\nline\n10\n1\n20\n2\n11\n3\n21\n4e1\n0\nendsec\n", 1,
     "p 1.5 2\nl 1 2 3 40\n", ""},
    {"other entities and their coordinates passed over",
     "0\nSECTION\n2\nENTITIES\n0\nPOLYLINE\n10\n9\n20\n9\n0\nVERTEX\n10\n5\n20\n5\n0\nSEQEND\n"
     "0\nLWPOLYLINE\n10\n1\n20\n1\n10\n2\n20\n2\n0\nPOINT\n8\nLINE\n5\n1F\n10\n3\n20\n4\n30\n0\n0\nENDSEC\n",
     1, "p 3 4\n", ""},
    {"only the ENTITIES section counts",
     "0\nSECTION\n2\nBLOCKS\n0\nPOINT\n10\n1\n20\n1\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nPOINT\n10\n2\n20\n2\n"
     "0\nENDSEC\n0\nSECTION\n2\nOBJECTS\n0\nPOINT\n10\n3\n20\n3\n0\nENDSEC\n0\nEOF\n",
     1, "p 2 2\n", ""},
    {"an entity without its coordinates is left out",
     "0\nSECTION\n2\nENTITIES\n0\nPOINT\n10\n1\n0\nLINE\n10\n1\n20\n1\n11\n2\n0\nPOINT\n10\n5\n20\n6\n0\nENDSEC\n", 1,
     "p 5 6\n", ""},
    {"no ENTITIES section", "0\nSECTION\n2\nHEADER\n0\nPOINT\n10\n1\n20\n1\n0\nENDSEC\n0\nEOF\n", 0, "", "ENTITIES"},
    {"the word entities elsewhere", "999\nentities\n0\nPOINT\n10\n1\n20\n1\n0\nEOF\n", 0, "", "ENTITIES"},
    {"empty file", "", 0, "", "ENTITIES"},
    {"a code that is no number stops the reading",
     "0\nSECTION\n2\nENTITIES\n0\nPOINT\n10\n1\n20\n1\n0\nPOINT\nten\n5\n20\n6\n0\nENDSEC\n", 1, "p 1 1\n",
     "line 13: a group code"},
    {"a coordinate that is no number stops the reading",
     "0\nSECTION\n2\nENTITIES\n0\nPOINT\n10\n1\n20\n1\n0\nPOINT\n10\n1,5\n20\n6\n0\nENDSEC\n", 1, "p 1 1\n", "\"1,5\""},
    {"a coordinate beyond float range stops the reading",
     "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n1\n20\n1\n11\n1e39\n21\n1\n0\nENDSEC\n", 1, "", "not a number in range"},
    {"the last entity needs the group that closes it",
     "0\nSECTION\n2\nENTITIES\n0\nPOINT\n10\n1\n20\n1\n0\nPOINT\n10\n2\n20\n2", 1, "p 1 1\n",
     "line 15: the file ends inside the ENTITIES section"},
    {"a file cut after a group code",
     "0\nSECTION\n2\nENTITIES\n0\nPOINT\n10\n1\n20\n1\n0\nPOINT\n10\n", 1, "p 1 1\n",
     "line 13: the file ends inside the ENTITIES section"},
    {"a file cut between entities",
     "0\nSECTION\n2\nENTITIES\n0\nPOINT\n10\n1\n20\n1\n0\nLINE\n10\n1\n20\n1\n11\n2\n21\n2\n0\n", 1,
     "p 1 1\n", "line 21: the file ends inside the ENTITIES section"},
};

TEST_F(DxfExchange, ReaderTakesPointsAndLinesOfTheEntitiesSectionOnly)
{
    for (const ReadCase& c : kReads) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (crlf ? " CR LF" : " LF"));
            std::string text;
            for (const char* p = c.text; *p; ++p)
                text += *p == '\n' && crlf ? std::string("\r\n") : std::string(1, *p);
            WriteAll(dxf, text);
            CVectorImage image;
            Fresh(image);
            std::string reason;
            EXPECT_EQ(DXFToVector(&image, dxf.c_str(), 0, &reason), c.result);
            EXPECT_EQ(Exact(image, 0), c.got);
            if (*c.reason) {
                EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
            } else {
                EXPECT_EQ(reason, "");
            }
        }
    }
}

TEST_F(DxfExchange, TargetsWithoutBlockOrLayerAndMissingFilesGiveZero)
{
    CVectorImage image;
    Fresh(image);
    FillSmall(image);
    ASSERT_EQ(VectorToDXF(dxf.c_str(), &image, 1, 1, -1), 1);
    CVectorImage target;
    std::string reason;
    EXPECT_EQ(DXFToVector(&target, dxf.c_str(), 0, &reason), 0) << "no block";
    EXPECT_NE(reason.find("no such layer"), std::string::npos);
    Fresh(target);
    EXPECT_EQ(DXFToVector(&target, dxf.c_str(), 1), 0);
    EXPECT_EQ(DXFToVector(&target, dxf.c_str(), -1), 0);
    EXPECT_EQ(DXFToVector(nullptr, dxf.c_str(), 0), 0);
    EXPECT_EQ(DXFToVector(&target, dir.File("missing.dxf").c_str(), 0, &reason), 0);
    EXPECT_NE(reason.find("cannot open"), std::string::npos);
    EXPECT_EQ(DXFToVector(&target, dir.Path().c_str(), 0), 0) << "a folder";
    EXPECT_EQ(target.LayerIsEmpty(0), 1);
}

TEST_F(DxfExchange, WritingIsCompleteOrAbsent)
{
    CVectorImage image;
    Fresh(image);
    FillSmall(image);
    const std::string nowhere = dir.File("no/such/folder.dxf");
    EXPECT_EQ(VectorToDXF(nowhere.c_str(), &image, 1, 1, -1), 0);
    EXPECT_FALSE(std::filesystem::exists(nowhere));
    EXPECT_EQ(VectorToDXF(dxf.c_str(), nullptr, 1, 1, -1), 0);

    // Replacing a longer file leaves nothing of it behind, and no temporary beside it.
    WriteAll(dxf, std::string(100000, 'x'));
    ASSERT_EQ(VectorToDXF(dxf.c_str(), &image, 1, 1, -1), 1);
    EXPECT_EQ(ReadAll(dxf).find('x'), std::string::npos);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1) << "the drawing alone";
}

TEST_F(DxfExchange, AFileCutAtEveryByteGivesAPrefixOfItsEntities)
{
    CVectorImage image;
    Fresh(image);
    AddLine(image, 0, {{1, 2}, {3, 4}, {5, 6}});
    image.Add(0, Pt(7, 8));
    image.Add(0, Pt(9, 10));
    ASSERT_EQ(VectorToDXF(dxf.c_str(), &image, 8, 8, -1), 1);
    const std::string whole = ReadAll(dxf);
    const std::string full = "p 7 8\np 9 10\nl 1 2 3 4\nl 3 4 5 6\n";
    const std::string cut = dir.File("cut.dxf");
    const std::size_t entities = whole.find("ENTITIES") + 8;
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        WriteAll(cut, whole.substr(0, n));
        CVectorImage back;
        Fresh(back);
        const int result = DXFToVector(&back, cut.c_str(), 0);
        const std::string got = Exact(back, 0);
        ASSERT_EQ(result, n >= entities + 2 ? 1 : 0) << n;
        // Points first, then lines: each a leading run of the whole file's.
        const std::size_t split = got.find('l') == std::string::npos ? got.size() : got.find('l');
        const std::string points = got.substr(0, split), lines = got.substr(split);
        ASSERT_EQ(full.compare(0, points.size(), points), 0) << n << ": " << got;
        ASSERT_EQ(full.compare(full.find('l'), lines.size(), lines), 0) << n << ": " << got;
        if (n == whole.size()) {
            EXPECT_EQ(got, full);
        }
    }
}

// Restores the C locale and the locale path however the test ends.
struct ScopedLocale {
    ~ScopedLocale()
    {
        std::setlocale(LC_ALL, "C");
        ::unsetenv("LOCPATH");
    }
    // An installed decimal-comma locale, else one compiled into folder from the system's
    // locale sources; false when neither can be had.
    bool Choose(const std::string& folder)
    {
        for (const char* name : {"de_DE.UTF-8", "ru_RU.UTF-8", "fr_FR.UTF-8"})
            if (std::setlocale(LC_ALL, name))
                return true;
        // The library looks a locale up under its normalised codeset name.
        const std::string made = folder + "/de_DE.utf8";
        if (RunCommand("localedef -i de_DE -f UTF-8 '" + made + "'"), !std::filesystem::exists(made))
            return false;
        ::setenv("LOCPATH", folder.c_str(), 1);
        return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
};

TEST_F(DxfExchange, ADecimalCommaLocaleChangesNothing)
{
    CVectorImage image;
    Fresh(image);
    FillSmall(image);
    ASSERT_EQ(VectorToDXF(dxf.c_str(), &image, 5, 5, -1), 1);
    const std::string inC = ReadAll(dxf);
    ScopedLocale locale;
    if (!locale.Choose(dir.Path()))
        GTEST_SKIP() << "no decimal-comma locale can be had";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%g", 1.5);
    ASSERT_STREQ(buf, "1,5") << "the locale writes a decimal comma";
    ASSERT_EQ(VectorToDXF(dxf.c_str(), &image, 5, 5, -1), 1);
    EXPECT_EQ(ReadAll(dxf), inC);
    CVectorImage back;
    Fresh(back);
    ASSERT_EQ(DXFToVector(&back, dxf.c_str(), 0), 1);
    std::setlocale(LC_ALL, "C");  // the values are compared as the C locale prints them
    EXPECT_EQ(Exact(back, 0), "p 7 8.5\nl 1.5 2 3.25 -4\nl 3.25 -4 1000000 0.100000001\n");
}

}  // namespace
