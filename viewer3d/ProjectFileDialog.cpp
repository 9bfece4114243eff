#include "viewer3d/ProjectFileDialog.h"

#include <QFileDialog>

#include <mutex>

namespace {

constexpr char kFilter[] = "Halcyte Project (*.hcp);;All Files (*)";
constexpr char kTitle[] = "Select Halcyte Project File";

std::mutex gLock;
ProjectFileAnswerer gAnswerer;

}  // namespace

ProjectFileAnswerer SetProjectFileAnswerer(ProjectFileAnswerer Answerer)
{
    std::lock_guard guard(gLock);
    std::swap(gAnswerer, Answerer);
    return Answerer;
}

bool SelectProjectFile(QWidget* Owner, bool Save, std::string& FileName)
{
    ProjectFileAnswerer answerer;
    {
        std::lock_guard guard(gLock);
        answerer = gAnswerer;
    }
    if (answerer)
        return answerer(Save, FileName);

    QFileDialog dialog(Owner, kTitle, QString(), kFilter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!FileName.empty())
        dialog.selectFile(QString::fromStdString(FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    FileName = dialog.selectedFiles().first().toStdString();
    return true;
}
