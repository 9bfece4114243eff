#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "layer/RDPExcept.h"

namespace {

struct CauseCase {
    int cause;
    const char* text;
};

const CauseCase kCauses[] = {
    {0, "none"},
    {1, "Error creating new file !"},
    {2, "Error creating *.tmp file !"},
    {3, "Empty layer detected !"},
    {4, "CRDPLayer object is already used !"},
    {5, "Error opening file !"},
    {6, "The file doesn't match this format"},
    {7, "Memory allocation error !"},
    {8, "Unable to delete tmp - file !"},
    {9, "Negative coordinates detected in the file !"},
    {10, "Error copying data !"},
    {11, "CANCEL"},
    {12, "unknown"},
    {42, "unknown"},
    {-1, "unknown"},
};

TEST(RDPExcept, ThrownCausesCarryTheirTextAndComeBackFromGetError)
{
    for (const auto& c : kCauses) {
        SCOPED_TRACE(c.cause);
        try {
            AfxThrowRDPExcept(c.cause);
        } catch (plat::Exception* e) {
            std::string msg;
            EXPECT_EQ(GetError(e, msg), c.cause);
            EXPECT_EQ(msg, c.text);
            e->Delete();
        }
    }
}

TEST(RDPExcept, ForeignExceptionGives12AndItsOwnMessage)
{
    plat::Exception* foreign[] = {new plat::MemoryException(),
                                  new plat::FileException(plat::FileException::fileNotFound, 2, "/x/y.rdp")};
    for (auto* e : foreign) {
        std::string msg;
        char own[254];
        e->GetErrorMessage(own, sizeof own);
        EXPECT_EQ(GetError(e, msg), 12);
        EXPECT_EQ(msg, own);
        EXPECT_FALSE(msg.empty());
        e->Delete();
    }
    std::string msg = "x";
    EXPECT_EQ(GetError(nullptr, msg), 12);
    EXPECT_EQ(msg, "");
}

TEST(RDPExcept, DirectConstructionKeepsTextAndCutsMessage)
{
    CRDPExcept e(3, "my own text");
    char buf[16];
    e.GetErrorMessage(buf, 5);
    EXPECT_STREQ(buf, "my o");
    std::string msg;
    EXPECT_EQ(GetError(&e, msg), 3);
    EXPECT_EQ(msg, "my own text");

    // A zero-sized buffer is left alone.
    buf[0] = 'Q';
    e.GetErrorMessage(buf, 0);
    EXPECT_EQ(buf[0], 'Q');

    CRDPExcept empty;
    EXPECT_EQ(empty.m_cause, 0);
    EXPECT_EQ(empty.m_message, "");
    EXPECT_STREQ(empty.m_marker, "RDPR");
}

TEST(RDPExcept, DumpNamesTheCause)
{
    CRDPExcept e(7, "x");
    std::ostringstream out;
    e.Dump(out);
    EXPECT_NE(out.str().find(" m_cause = Memory allocation error !\n"), std::string::npos);
}

}  // namespace
