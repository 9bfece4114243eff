#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>
#include <atomic>
#include <thread>

#include "platform/dialogs/MessageBox.h"
#include "PumpUntil.h"

namespace {

TEST(MessageBox, AnswererTakesCallsFromAnyThreadOnTheGuiThread)
{
    QWidget owner;
    plat::WindowHandle h = plat::WindowHandle::Attach(&owner, {});
    std::thread::id answeredOn;
    plat::ScopedMessageBoxAnswerer answerer(plat::IDYES, [&](const plat::MessageBoxCall&) {
        answeredOn = std::this_thread::get_id();
        return plat::IDNO;
    });
    std::atomic<int> answer = 0;
    std::thread worker([&] { answer = plat::MessageBox(h, "Stop?", "Job", plat::MB_YESNO); });
    ASSERT_TRUE(testsupport::PumpUntil([&] { return answer != 0; }, std::chrono::seconds(60)));
    worker.join();
    EXPECT_EQ(answer, plat::IDNO);
    EXPECT_EQ(answeredOn, std::this_thread::get_id());

    EXPECT_EQ(plat::MessageBox(plat::WindowHandle(), "Done", "Job", plat::MB_OK | plat::MB_SYSTEMMODAL), plat::IDNO);
    auto calls = answerer.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].text, "Stop?");
    EXPECT_EQ(calls[0].caption, "Job");
    EXPECT_EQ(calls[0].type, unsigned(plat::MB_YESNO));
    EXPECT_TRUE(calls[0].owned);
    EXPECT_FALSE(calls[1].owned);
}

TEST(MessageBox, ScopedAnswerersNestAndRestore)
{
    plat::ScopedMessageBoxAnswerer outer(plat::IDOK);
    {
        plat::ScopedMessageBoxAnswerer inner(plat::IDCANCEL);
        EXPECT_EQ(plat::MessageBox({}, "a", "b", plat::MB_OKCANCEL), plat::IDCANCEL);
        EXPECT_EQ(inner.Calls().size(), 1u);
    }
    EXPECT_EQ(plat::MessageBox({}, "a", "b", plat::MB_OKCANCEL), plat::IDOK);
    EXPECT_EQ(outer.Calls().size(), 1u);
}

}  // namespace
