#include "dialogs/RGBLevelsDlg.h"

#include <QLabel>
#include <QSlider>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/DialogTemplate.h"
#include "ViewerStrings.h"
#include "dialogs/ToolDialogMath.h"

namespace {

using plat::ControlKind;

// The sliders are placeholders here that track bars take over at creation.
const plat::ControlTemplate kControls[] = {
    {CRGBLevelsDlg::IDC_RED_LABEL, ControlKind::Static, 10, 4, 216, 8, "Красный: 255", plat::CS_NONE},
    {CRGBLevelsDlg::IDC_RED_SLIDER, ControlKind::Static, 10, 14, 216, 12, "", plat::CS_NONE},
    {CRGBLevelsDlg::IDC_GREEN_LABEL, ControlKind::Static, 10, 32, 216, 8, "Зеленый: 255", plat::CS_NONE},
    {CRGBLevelsDlg::IDC_GREEN_SLIDER, ControlKind::Static, 10, 42, 216, 12, "", plat::CS_NONE},
    {CRGBLevelsDlg::IDC_BLUE_LABEL, ControlKind::Static, 10, 60, 216, 8, "Синий: 255", plat::CS_NONE},
    {CRGBLevelsDlg::IDC_BLUE_SLIDER, ControlKind::Static, 10, 70, 216, 12, "", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate{207, "Яркость", "MS Sans Serif", 8, 236, 90, kControls, std::size(kControls)};

struct Channel {
    unsigned label;
    unsigned slider;
    unsigned name;
    int request;
};

const Channel kChannels[3] = {
    {CRGBLevelsDlg::IDC_RED_LABEL, CRGBLevelsDlg::IDC_RED_SLIDER, IDS_CHANNEL_RED, REQ_RED_LEVEL},
    {CRGBLevelsDlg::IDC_GREEN_LABEL, CRGBLevelsDlg::IDC_GREEN_SLIDER, IDS_CHANNEL_GREEN, REQ_GREEN_LEVEL},
    {CRGBLevelsDlg::IDC_BLUE_LABEL, CRGBLevelsDlg::IDC_BLUE_SLIDER, IDS_CHANNEL_BLUE, REQ_BLUE_LEVEL},
};

}  // namespace

const plat::DialogTemplate& CRGBLevelsDlg::Template()
{
    return kTemplate;
}

void CRGBLevelsDlg::Create(QWidget* parent, plat::WindowHandle frame)
{
    plat::Dialog* dlg = MakeWindow(kTemplate, parent, std::move(frame), REQ_ADJUST_CLOSED);
    for (int i = 0; i < 3; ++i) {
        m_label[i] = dlg->ControlAs<QLabel>(kChannels[i].label);
        m_label[i]->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        auto* slider = new QSlider(Qt::Horizontal, dlg);
        slider->setRange(0, 255);
        slider->setValue(255);
        dlg->ReplaceControl(kChannels[i].slider, slider);
        // Every step, page, Home, End and drag move: the position has moved already.
        QObject::connect(slider, &QAbstractSlider::actionTriggered, dlg, [this, i](int) { OnHScroll(i); });
        m_slider[i] = slider;
    }
}

void CRGBLevelsDlg::OnHScroll(int channel)
{
    const int pos = m_slider[channel]->sliderPosition();
    m_label[channel]->setText(QString::fromStdString(LevelLabel(LoadViewerString(kChannels[channel].name), pos)));
    SendToFrame(kChannels[channel].request, pos);
}
