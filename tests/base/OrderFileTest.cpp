#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <string>

#include "ChildProcess.h"
#include "platform/errors/Exception.h"
#include "RdpFileBuilder.h"
#include "files/OrderFile.h"

namespace {

class OrderFileTest : public ::testing::Test {
protected:
    rdptest::TempDir dir;

    std::string Make(int n)
    {
        std::string bytes;
        for (int i = 1; i <= n; ++i)
            bytes.push_back(char(i));
        const std::string path = dir.File("data.bin");
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
};

struct OrderCase {
    unsigned size;
    unsigned count;
    int order;
    unsigned result;
    const char* expect;  // hex bytes of buf; "" when untouched
};

TEST_F(OrderFileTest, ItemReadsReverseWhenAsked)
{
    const OrderCase kCases[] = {
        {4, 3, 2, 3, "04030201080706050c0b0a09"},
        {2, 2, 2, 2, "02010403"},
        {8, 1, 2, 1, "0807060504030201"},
        {3, 2, 2, 2, "010203040506"},  // other sizes copied unchanged
        {4, 2, 1, 2, "0102030405060708"},
        {1, 5, 2, 5, "0102030405"},
        {4, 4, 2, 3, ""},  // 12 bytes hold only 3 items: nothing stored
        {0, 4, 2, 0, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::to_string(c.size) + "x" + std::to_string(c.count));
        COrderFile f(Make(12).c_str(), plat::File::modeRead);
        unsigned char buf[32];
        std::memset(buf, 0xEE, sizeof buf);
        EXPECT_EQ(f.Read(buf, c.size, c.count, c.order), c.result);
        std::string hex;
        char part[3];
        for (unsigned i = 0; i < sizeof buf && buf[i] != 0xEE; ++i) {
            std::snprintf(part, sizeof part, "%02x", buf[i]);
            hex += part;
        }
        EXPECT_EQ(hex.substr(0, std::strlen(c.expect)), c.expect);
        if (*c.expect == '\0') {
            EXPECT_EQ(buf[0], 0xEE);
        }
    }
}

TEST_F(OrderFileTest, ShortFileGivesWholeItemsAndLeavesBufferUntouched)
{
    COrderFile f(Make(11).c_str(), plat::File::modeRead);
    unsigned char buf[12];
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(f.Read(buf, 4, 3, 2), 2u);
    for (unsigned char b : buf)
        EXPECT_EQ(b, 0xEE);

    COrderFile g(Make(11).c_str(), plat::File::modeRead);
    EXPECT_EQ(g.Read(buf, 4, 3), 2u);  // plain item read: bytes / size
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(g.Read(buf, 5u), 0u);
}

TEST_F(OrderFileTest, OverflowingItemCountIsRefused)
{
    COrderFile f(Make(12).c_str(), plat::File::modeRead);
    unsigned char buf[16];
    try {
        f.Read(buf, 0x10000u, 0x10000u);
        ADD_FAILURE() << "no exception";
    } catch (plat::Exception* e) {
        EXPECT_NE(dynamic_cast<plat::FileException*>(e), nullptr);
        e->Delete();
    }
    try {
        f.Read(buf, 8u, 0x40000000u, 2);
        ADD_FAILURE() << "no exception";
    } catch (plat::Exception* e) {
        e->Delete();
    }
    EXPECT_EQ(f.GetPosition(), 0);  // nothing was read
}

TEST_F(OrderFileTest, OpenFailureThrowsFileException)
{
    try {
        COrderFile f(dir.File("missing").c_str(), plat::File::modeRead);
        ADD_FAILURE() << "no exception";
    } catch (plat::Exception* e) {
        auto* fe = dynamic_cast<plat::FileException*>(e);
        ASSERT_NE(fe, nullptr);
        EXPECT_EQ(fe->m_cause, plat::FileException::fileNotFound);
        e->Delete();
    }
}

TEST_F(OrderFileTest, AFifoIsRefusedWithoutWaitingForAWriter)
{
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (unsigned mode : {unsigned(plat::File::modeRead), unsigned(plat::File::modeReadWrite)}) {
        SCOPED_TRACE(mode);
        // In a child: an open that waits for the FIFO's writer would hang the test.
        const int status = testsupport::RunInChild(
            [&] {
                try {
                    COrderFile f(fifo.c_str(), mode);
                    char c = 0;
                    f.Read(&c, 1u, 1u, 0);
                } catch (plat::Exception* e) {
                    const bool file = dynamic_cast<plat::FileException*>(e) != nullptr;
                    e->Delete();
                    return file ? 0 : 1;
                }
                return 1;
            },
            3);
        EXPECT_TRUE(testsupport::ExitedWith(status, 0)) << "wait status " << status;
    }
}

}  // namespace
