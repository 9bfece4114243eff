#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "platform/files/File.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"

// Every test program runs with a GUI application object on the offscreen platform,
// so window tests need no display. No test waits for a person at a message box or a
// file dialog: a box nobody expected is logged and answered with its most cautious
// button, a file dialog nobody expected is logged and cancelled.
int main(int argc, char** argv)
{
    plat::IgnoreFileSizeSignal();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    plat::SetMessageBoxAnswerer([](const plat::MessageBoxCall& call) {
        std::fprintf(stderr, "message box \"%s\": %s\n", call.caption.c_str(), call.text.c_str());
        switch (call.type & 0xF) {
        case plat::MB_OK:
            return int(plat::IDOK);
        case plat::MB_YESNO:
            return int(plat::IDNO);
        default:
            return int(plat::IDCANCEL);
        }
    });
    plat::SetFileDialogAnswerer([](const plat::FileDialogRequest& request) {
        std::fprintf(stderr, "file dialog \"%s\" (%s) cancelled\n", request.title.c_str(),
                     request.save ? "save" : "open");
        return plat::FileDialogResult{};
    });
    return RUN_ALL_TESTS();
}
