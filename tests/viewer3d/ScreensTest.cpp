// The forms at their sizes, grabbed as the user sees them. With
// SUITE_SCREENSHOT_DIR set, the pictures are kept there for a look.

#include "Viewer3DTestSupport.h"

#include "viewer3d/forms/SAdministratorUn.h"
#include "viewer3d/forms/SThreadFormUn.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

#include <cstdlib>

namespace {

void Keep(const QImage& Shot, const char* Name)
{
    if (const char* dir = std::getenv("SUITE_SCREENSHOT_DIR"))
        Shot.save(QString::fromUtf8(dir) + "/" + Name);
}

class Screens : public Viewer3DTest {};

TEST_F(Screens, TheFormsHaveTheirSizes)
{
    TSAdministrator admin;
    admin.show();
    ChooseInNewDialog("Projects", "Test Project");
    admin.NewBtnClick();
    for (const char* name : {"terrain", "camera"}) {
        ChooseInNewDialog("Items", "Test Item");
        admin.NewBtnClick();
        if (auto* item = dynamic_cast<TSCustomChangeObject*>(admin.SelectedObject()))
            item->SetName(name);
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    const QImage shot = admin.grab().toImage();
    EXPECT_EQ(shot.size(), QSize(234, 294));
    Keep(shot, "administrator.png");

    QSize dialogSize;
    WhenNewDialog([&](TSNewDialog& Dialog) {
        const QImage picture = Dialog.grab().toImage();
        dialogSize = picture.size();
        Keep(picture, "new-dialog.png");
        Dialog.CancelBtn()->click();
    });
    admin.NewBtnClick();
    EXPECT_EQ(dialogSize, QSize(487, 359));

    struct Job {
        QSize Size;
        void Run(TSThread* Thread, TSThreadParams*)
        {
            Thread->SetMessage("Reading objects");
            Thread->SetRange(0, 100, 40);
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* form = dynamic_cast<TSThreadForm*>(w); form && form->Thread() == Thread) {
                    const QImage picture = form->grab().toImage();
                    Size = picture.size();
                    Keep(picture, "progress.png");
                }
        }
    } job;
    RunSynchronouslyInForm("Load Project From : /home/user/scene.hcp", nullptr, {}, TSThreadJob::Of<&Job::Run>(&job));
    EXPECT_EQ(job.Size, QSize(480, 75));
    QCoreApplication::processEvents();
}

}  // namespace
