#pragma once
// Pieces shared by the forms of the 3D viewer.

#include <QPixmap>
#include <QString>

class QWidget;

// Height of every form's caption bar.
inline constexpr int kCaptionHeight = 24;

// Moves a top-level form to the middle of the primary screen.
void CentreOnScreen(QWidget* Form);

// Icons drawn in code: the administrator's tool buttons (0 new, 1 delete,
// 2 load, 3 save) at 24 pixels, and the new-object dialog's images at 64.
QPixmap ToolButtonImage(int Index);
QPixmap NewDialogImage(int Index);
inline constexpr int kNewDialogImages = 8;
