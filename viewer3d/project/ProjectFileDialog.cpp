#include "viewer3d/project/ProjectFileDialog.h"

#include "platform/dialogs/FileDialog.h"

bool SelectProjectFile(const plat::WindowHandle& Owner, bool Save, std::string& FileName)
{
    plat::FileDialogRequest request;
    request.save = Save;
    request.title = kProjectFileTitle;
    request.filter = kProjectFileFilter;
    request.fileName = FileName;
    // No default extension: a name is saved as it was given.
    request.flags = Save ? plat::OFN_OVERWRITEPROMPT | plat::OFN_HIDEREADONLY | plat::OFN_PATHMUSTEXIST
                         : plat::OFN_HIDEREADONLY | plat::OFN_PATHMUSTEXIST | plat::OFN_FILEMUSTEXIST;
    const plat::FileDialogResult result = plat::FileDialog(Owner, request);
    if (!result.ok || result.Path().empty())
        return false;
    FileName = result.Path();
    return true;
}
