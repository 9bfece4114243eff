// The end of a converter job: the progress window's last texts, and View only when
// the job committed and every output is there.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ConversionJobEnd.h"
#include "TempDir.h"
#include "jobs/MeterInfo.h"

TEST(ConversionJobEnd, ViewOnlyWhenDoneAndEveryOutputExists)
{
    testsupport::TempDir dir;
    const std::string a = dir.File("a.rdp"), b = dir.File("b.rdp");
    std::ofstream(a) << "a";
    struct Case {
        const char* what;
        bool done;
        std::vector<std::string> outputs;
        const char* endText;
        bool closes;
        std::string shownEnd;  // EndText() afterwards
    };
    const Case cases[] = {
        {"done, the output there", true, {a}, "", false, ""},
        {"done, with a warning", true, {a}, "short input", false, "short input"},
        {"done, one of two outputs missing", true, {a, b}, "short input", true, ""},
        {"done, a folder as output", true, {dir.Path()}, "", true, ""},
        {"not done", false, {a}, "", true, ""},
        {"done, nothing written", true, {}, "", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto* meter = new CMeterInfo("test");
        meter->Create();
        meter->SetText("working");
        ConversionEnd end;
        end.done = c.done;
        end.text = c.done ? "Import successful." : "";
        end.endText = c.endText;
        end.outputs = c.outputs;
        EndConversionJob(meter, end);
        EXPECT_EQ(meter->IsDeleteOnClose(), c.closes);
        EXPECT_EQ(meter->EndText(), c.shownEnd);
        EXPECT_EQ(meter->GetText(), c.done ? "Import successful." : "working");
        delete meter;
    }
    EndConversionJob(nullptr, ConversionEnd{});
}
