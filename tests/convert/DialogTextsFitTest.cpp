// Every dialog of the libraries, built from its template with the fonts this machine
// has: each static text, button, check box, radio button and group title shows whole in
// its control, each caption fits its window, and so do the texts the program writes
// into fields at run time. Screenshots of the tool windows go to the build's bin folder.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dialogs/Dialog.h"
#include "ImportExportDlg.h"
#include "dialogs/InfoFileDialog.h"
#include "dialogs/PreviewOptionsPane.h"
#include "dialogs/PreviewPane.h"
#include "dialogs/RGBChannelsDlg.h"
#include "dialogs/StatisticsDlg.h"
#include "dialogs/BrightContrastDlg.h"
#include "dialogs/CursorPosDlg.h"
#include "dialogs/PaletteDlg.h"
#include "dialogs/RGBLevelsDlg.h"
#include "jobs/MeterDialog.h"
#include "raw/PreviewParamDlg.h"
#include "raw/RawImportDlg.h"
#include "tiff/TIFFImportDlg.h"
#include "complex/ComplexDlg.h"
#include "typechange/TypeChangeDlg.h"

namespace {

// Pixels the text of a push button has between its margins.
int ButtonTextRoom(QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = button->rect();
    option.text = button->text();
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
}

// Pixels a line edit shows its text in without scrolling it.
int EditTextRoom(QLineEdit* edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    // QLineEdit keeps two pixels free on either side and one for the cursor.
    return contents.width() - margins.left() - margins.right() - 2 * 2 - 1;
}

int Advance(const QWidget* w, const QString& text)
{
    return QFontMetrics(w->font()).horizontalAdvance(text);
}

// One line per text that does not fit: what, how many pixels it needs, how many it has.
std::string Misfits(plat::Dialog* dlg, bool window)
{
    std::ostringstream out;
    auto check = [&](const QString& what, int need, int have) {
        if (need > have)
            out << "  " << what.toStdString() << ": needs " << need << " px, has " << have << "\n";
    };
    for (QObject* child : dlg->children()) {
        if (auto* label = qobject_cast<QLabel*>(child); label && !label->text().isEmpty())
            check("static \"" + label->text() + "\"", label->sizeHint().width(), label->width());
        else if (auto* push = qobject_cast<QPushButton*>(child); push && !push->text().isEmpty())
            check("button \"" + push->text() + "\"", Advance(push, push->text()), ButtonTextRoom(push));
        else if (auto* box = qobject_cast<QCheckBox*>(child); box && !box->text().isEmpty())
            check("check box \"" + box->text() + "\"", box->sizeHint().width(), box->width());
        else if (auto* radio = qobject_cast<QRadioButton*>(child); radio && !radio->text().isEmpty())
            check("radio \"" + radio->text() + "\"", radio->sizeHint().width(), radio->width());
        else if (auto* group = qobject_cast<QGroupBox*>(child); group && !group->title().isEmpty())
            check("group \"" + group->title() + "\"", group->minimumSizeHint().width(), group->width());
        else if (auto* edit = qobject_cast<QLineEdit*>(child); edit && !edit->text().isEmpty())
            check("field \"" + edit->text() + "\"", Advance(edit, edit->text()), EditTextRoom(edit));
    }
    if (window && !dlg->windowTitle().isEmpty())
        check("caption \"" + dlg->windowTitle() + "\"",
              plat::CaptionWidthNeeded(dlg->font(), dlg->windowTitle().toUtf8().constData()), dlg->width());
    return out.str();
}

TEST(DialogTextsFit, EveryTemplateShowsItsTextsWhole)
{
    struct Built {
        const char* name;
        const plat::DialogTemplate* tmpl;
    } templates[] = {
        {"import and export", &CImportExportDlg::Template()},
        {"raw import", &CRawImportDlg::Template()},
        {"raw preview parameters", &CPreviewParamDlg::Template()},
        {"TIFF import", &CTIFFImportDlg::Template()},
        {"brightness and contrast", &CBrightContrastDlg::Template()},
        {"palette", &CPaletteDlg::Template()},
        {"cursor position", &CCursorPosDlg::Template()},
        {"RGB levels", &CRGBLevelsDlg::Template()},
        {"RGB channels", &CRGBChannelsDlg::Template()},
        {"statistics", &CStatisticsDlg::Template()},
        {"complex files", &CComplexDlg::Template()},
        {"type change", &CTypeChangeDlg::Template()},
    };
    for (const Built& b : templates) {
        plat::Dialog dlg(*b.tmpl);
        EXPECT_EQ(Misfits(&dlg, true), "") << b.name;
    }

    // Dialogs whose templates stay inside their classes, built as their classes build them.
    CMeterDialog meter("Importing a raster layer", nullptr);
    ASSERT_TRUE(meter.Create());
    meter.SetText("Reading rows");
    EXPECT_EQ(Misfits(meter.Window(), false), "") << "progress";
    CInfoFileDialog files(1, "rdp", "", 0, nullptr);
    files.Create(nullptr);
    ASSERT_NE(files.Window(), nullptr);
    EXPECT_EQ(Misfits(files.Window(), false), "") << "file dialog";
    EXPECT_EQ(Misfits(files.PreviewPane()->Window(), false), "") << "preview pane";
    EXPECT_EQ(Misfits(files.OptionsPane()->Window(), false), "") << "options pane";
    files.Destroy();
}

// What the program writes into the statistics window's fields fits them too.
TEST(DialogTextsFit, StatisticsFieldsHoldTheirTexts)
{
    plat::Dialog dlg(CStatisticsDlg::Template());
    auto* size = dlg.ControlAs<QLineEdit>(CStatisticsDlg::IDC_SIZE);
    ASSERT_NE(size, nullptr);
    for (const char* text : {" 2000 x 2000 x 32 bits", " 20000 x 20000 x 64 bits"}) {
        size->setText(text);
        EXPECT_LE(Advance(size, size->text()), EditTextRoom(size)) << text;
    }
    dlg.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dlg.grab().save(QStringLiteral(SUITE_BIN_DIR "/dialog_statistics_size.png")));
    for (auto [name, tmpl] : {std::pair{"cursor", &CCursorPosDlg::Template()},
                              std::pair{"brightness", &CBrightContrastDlg::Template()}}) {
        plat::Dialog tool(*tmpl);
        tool.show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(tool.grab().save(QString(SUITE_BIN_DIR "/dialog_%1.png").arg(name)));
    }
}

}  // namespace
