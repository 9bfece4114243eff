// The viewer's load guard: an exception's own text in the box, and a report told apart
// from a result of 0.

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/errors/Exception.h"
#include "GuardedCall.h"
#include "platform/dialogs/MessageBox.h"

namespace {

TEST(GuardedViewerCallWithText, ShowsTheExceptionsOwnText)
{
    const struct {
        const char* what;
        void (*raise)();
        bool ownText;  // the box shows the exception's message
    } cases[] = {
        {"framework exception", [] { throw new plat::MemoryException(); }, true},
        {"file exception", [] { throw new plat::FileException(plat::FileException::fileNotFound, 2, "/x/a.rdp"); },
         true},
        {"standard exception", [] { throw std::runtime_error("layer too large"); }, true},
        {"exception without a text", [] { throw new plat::Exception(); }, false},
    };
    for (const auto& c : cases) {
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        const std::optional<int> r = GuardedViewerCallWithText("Viewer", [&] {
            c.raise();
            return 5;
        });
        EXPECT_FALSE(r.has_value()) << c.what;
        const auto calls = boxes.Calls();
        ASSERT_EQ(calls.size(), 1u) << c.what;
        EXPECT_EQ(calls[0].caption, "Viewer");
        EXPECT_TRUE(calls[0].type & plat::MB_SYSTEMMODAL);
        EXPECT_FALSE(calls[0].owned);
        EXPECT_EQ(!calls[0].text.empty(), c.ownText) << c.what << ": '" << calls[0].text << "'";
    }
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    EXPECT_EQ(GuardedViewerCallWithText("Viewer", [] { return 0; }), std::optional<int>(0));
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST(GuardedViewerCall, KeepsItsEmptyTextForExceptions)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    EXPECT_EQ(GuardedViewerCall("Error", []() -> int { throw std::runtime_error("x"); }), 0);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "");
}

}  // namespace
