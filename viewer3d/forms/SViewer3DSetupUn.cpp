#include "viewer3d/forms/SViewer3DSetupUn.h"

#include "viewer3d/drawing/SDrawing3D.h"
#include "viewer3d/editors/EditorParts.h"
#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/HcProject3D.h"

#include "engine3d/files/SProject.h"
#include "engine3d/model/GeneralProc.h"
#include "engine3d/render/SCanvas3D.h"
#include "engine3d/render/SMemBitmapView.h"
#include "platform/dialogs/MessageBox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr char kErrorCaption[] = "Halcyte3D";
const char* const kColorItems[6] = {"absence",          "256 colors",         "15 bit (HiColor)",
                                    "16 bit (HiColor)", "24 bit (TrueColor)", "32 bit (TrueColor)"};

// On Linux there is no Windows NT: "32 bit (TrueColor)" is format 5.
bool IsWindowsNT()
{
    return false;
}

QColor ColourOf(std::int32_t C)
{
    return QColor(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF);
}

// Pauses the render of the project that holds the drawing system for a scope.
class RenderPause {
public:
    explicit RenderPause(TSDrawingSystem3D* System)
        : m_project(System ? dynamic_cast<THalcyte3DProject*>(FindProjectOfObject(System)) : nullptr)
    {
        if (m_project)
            m_project->PauseRendering();
    }
    ~RenderPause()
    {
        if (m_project)
            m_project->ResumeRendering();
    }
    RenderPause(const RenderPause&) = delete;
    RenderPause& operator=(const RenderPause&) = delete;

private:
    THalcyte3DProject* m_project;
};

}  // namespace

bool SetupIsStructural(const TSSetupState& Canvas, const TSSetupState& Wanted)
{
    if (Canvas.Width != Wanted.Width || Canvas.Height != Wanted.Height)
        return true;
    for (int p = 0; p < 3; ++p)
        if (Canvas.Planes[p] != Wanted.Planes[p])
            return true;
    return !Canvas.Enabled && Wanted.Enabled;
}

// ---------------------------------------------------------------------------
// TSCurveBox

TSCurveBox::TSCurveBox(TSViewer3DSetup* Form, QWidget* Parent)
    : QWidget(Parent), m_form(Form), m_buffer(300, 146, QImage::Format_RGB32)
{
    setFixedSize(300, 146);
    setMouseTracking(true);
    setCursor(Qt::BlankCursor);
    m_buffer.fill(ColourOf(0xC0C0C0));
}

void TSCurveBox::Line(TSIntPoint From, TSIntPoint To, std::int32_t Colour)
{
    // Bresenham from From towards To; To itself stays unset.
    const QRgb c = ColourOf(Colour).rgb();
    std::int32_t x = From.X, y = From.Y;
    const std::int32_t dx = std::abs(To.X - x), dy = -std::abs(To.Y - y);
    const std::int32_t sx = x < To.X ? 1 : -1, sy = y < To.Y ? 1 : -1;
    std::int32_t err = dx + dy;
    while (x != To.X || y != To.Y) {
        if (x >= 0 && y >= 0 && x < m_buffer.width() && y < m_buffer.height())
            m_buffer.setPixel(x, y, c);
        const std::int32_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
    update();
}

void TSCurveBox::Text(std::int32_t Left, std::int32_t Top, std::int32_t Right, std::int32_t Bottom,
                      const std::string& S, std::int32_t Colour)
{
    QPainter p(&m_buffer);
    p.setFont(font());
    p.setPen(ColourOf(Colour));
    p.drawText(QRect(QPoint(Left, Top), QPoint(Right - 1, Bottom - 1)), Qt::AlignHCenter | Qt::AlignTop,
               QString::fromStdString(S));
    update();
}

void TSCurveBox::Fill(std::int32_t Colour)
{
    m_buffer.fill(ColourOf(Colour));
    update();
}

TSIntPoint TSCurveBox::TextSize() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance("0000"), metrics.height()};
}

void TSCurveBox::paintEvent(QPaintEvent*)
{
    QPainter(this).drawImage(0, 0, m_buffer);
}

void TSCurveBox::mousePressEvent(QMouseEvent* Event)
{
    m_form->PaintBoxMouseMove({Event->pos().x(), Event->pos().y()});
    m_form->PaintBoxMouseDown(Event->button() == Qt::LeftButton, {Event->pos().x(), Event->pos().y()});
}

void TSCurveBox::mouseMoveEvent(QMouseEvent* Event)
{
    m_form->PaintBoxMouseMove({Event->pos().x(), Event->pos().y()});
}

void TSCurveBox::mouseReleaseEvent(QMouseEvent*)
{
    m_form->PaintBoxMouseUp();
}

// ---------------------------------------------------------------------------
// TSViewer3DSetup

TSViewer3DSetup::TSViewer3DSetup() : QWidget(nullptr, Qt::Tool)
{
    for (auto& curve : m_editCurves)
        curve = std::make_unique<TSCnv3DIITransformer>();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->setSizeConstraint(QLayout::SetFixedSize);
    m_caption = new TSFlatCaption(this);
    m_caption->ShowButtons({fccClose, fccScreenPin});
    m_caption->setFixedHeight(kCaptionHeight);
    column->addWidget(m_caption);
    m_pages = new QTabWidget(this);
    m_pages->setObjectName("PageControl1");
    m_pages->setDocumentMode(true);
    column->addWidget(m_pages);

    // Property
    auto* property = new QWidget();
    property->setObjectName("TabProperty");
    auto* p = new QGridLayout(property);
    auto* bitmap = new QGroupBox(" Bitmap Setup ", property);
    bitmap->setObjectName("GroupBox1");
    auto* b = new QGridLayout(bitmap);
    m_widthEdit = new QLineEdit("0", bitmap);
    m_heightEdit = new QLineEdit("0", bitmap);
    m_widthEdit->setObjectName("WidthEdit");
    m_heightEdit->setObjectName("HeightEdit");
    m_colorBox = new QComboBox(bitmap);
    m_colorBox->setObjectName("ColorBox");
    for (const char* item : kColorItems)
        m_colorBox->addItem(item);
    m_displayLabel = new QLabel(bitmap);
    m_displayLabel->setObjectName("DisplayLabel");
    m_displayLabel->setAlignment(Qt::AlignCenter);
    b->addWidget(new QLabel("Width", bitmap), 0, 0);
    b->addWidget(m_widthEdit, 0, 1);
    b->addWidget(new QLabel("Height", bitmap), 1, 0);
    b->addWidget(m_heightEdit, 1, 1);
    b->addWidget(new QLabel("Color Depth", bitmap), 2, 0);
    b->addWidget(m_colorBox, 2, 1);
    b->addWidget(new QLabel("Display Settings :", bitmap), 3, 0, 1, 2);
    b->addWidget(m_displayLabel, 4, 0, 1, 2);
    p->addWidget(bitmap, 0, 0, 2, 1);
    auto* channels = new QGroupBox(" Channels Setup ", property);
    channels->setObjectName("GroupBox2");
    auto* c = new QGridLayout(channels);
    c->addWidget(new QLabel("Enable", channels), 0, 1);
    c->addWidget(new QLabel("Visible", channels), 0, 2);
    for (int i = 0; i < 3; ++i) {
        c->addWidget(new QLabel(QString("Channel %1").arg(i + 1), channels), i + 1, 0);
        m_planeBoxes[i] = new QCheckBox(channels);
        m_visibleBoxes[i] = new QCheckBox(channels);
        m_planeBoxes[i]->setObjectName(QString("Box%1Enabled").arg(i + 1));
        m_visibleBoxes[i]->setObjectName(QString("Box%1Visible").arg(i + 1));
        c->addWidget(m_planeBoxes[i], i + 1, 1, Qt::AlignHCenter);
        c->addWidget(m_visibleBoxes[i], i + 1, 2, Qt::AlignHCenter);
    }
    p->addWidget(channels, 0, 1);
    m_enabledBox = new QCheckBox("Enabled", property);
    m_enabledBox->setObjectName("EnabledBox");
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(m_enabledBox);
    buttons->addStretch(1);
    m_applyBtn = new QPushButton("Apply", property);
    m_cancelBtn = new QPushButton("Cancel", property);
    m_applyBtn->setObjectName("ApplyBtn");
    m_cancelBtn->setObjectName("CancelBtn");
    buttons->addWidget(m_applyBtn);
    buttons->addWidget(m_cancelBtn);
    p->addLayout(buttons, 1, 1, Qt::AlignBottom);
    m_pages->addTab(property, "Property");

    // Red, Green, Blue
    const char* names[3] = {"Red", "Green", "Blue"};
    for (int i = 0; i < 3; ++i) {
        auto* page = new QWidget();
        page->setObjectName(QString("Tab%1").arg(names[i]));
        auto* row = new QHBoxLayout(page);
        auto* bevel = new QFrame(page);
        bevel->setFrameShape(QFrame::Panel);
        bevel->setFrameShadow(QFrame::Sunken);
        auto* inBevel = new QVBoxLayout(bevel);
        inBevel->setContentsMargins(2, 2, 2, 2);
        m_boxes[i] = new TSCurveBox(this, bevel);
        m_boxes[i]->setObjectName(QString("PaintBox%1").arg(names[i]));
        inBevel->addWidget(m_boxes[i]);
        row->addWidget(bevel, 0, Qt::AlignTop);
        auto* side = new QVBoxLayout();
        m_sourceBoxes[i] = new QComboBox(page);
        m_sourceBoxes[i]->setObjectName(QString("%1ComboBox").arg(names[i]));
        m_sourceBoxes[i]->addItems({"disable", "Channel1", "Channel2", "Channel3"});
        side->addWidget(m_sourceBoxes[i]);
        m_grids[i] = new QTableWidget(2, 2, page);
        m_grids[i]->setObjectName(QString("%1Grid").arg(names[i]));
        m_grids[i]->horizontalHeader()->hide();
        m_grids[i]->verticalHeader()->hide();
        m_grids[i]->setColumnWidth(0, 41);
        m_grids[i]->setColumnWidth(1, 41);
        m_grids[i]->verticalHeader()->setDefaultSectionSize(18);
        m_grids[i]->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m_grids[i]->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_grids[i]->setStyleSheet("QTableWidget { background-color: silver; }");
        m_grids[i]->setFixedSize(41 * 2 + 24, 120);
        m_grids[i]->setItem(0, 0, new QTableWidgetItem("  X"));
        m_grids[i]->setItem(0, 1, new QTableWidgetItem("  Y"));
        side->addWidget(m_grids[i]);
        side->addStretch(1);
        row->addLayout(side);
        m_pages->addTab(page, names[i]);
        connect(m_sourceBoxes[i], &QComboBox::currentIndexChanged, this, [this] {
            if (!m_curvesLoading)
                ApplyCurves();
        });
    }

    // Colors
    auto* colours = new QWidget();
    colours->setObjectName("TabColors");
    auto* cl = new QVBoxLayout(colours);
    auto* rgb = new QGroupBox(" RGB Color Components ", colours);
    rgb->setObjectName("GroupBox3");
    auto* g = new QGridLayout(rgb);
    for (int i = 0; i < 3; ++i) {
        g->addWidget(new QLabel(names[i], rgb), i, 0);
        m_trackBars[i] = new QSlider(Qt::Horizontal, rgb);
        m_trackBars[i]->setObjectName(QString("TrackBar%1").arg(names[i]));
        m_trackBars[i]->setRange(0, 1000);
        m_trackBars[i]->setPageStep(100);
        m_trackBars[i]->setTickInterval(50);
        m_trackBars[i]->setTickPosition(QSlider::TicksBelow);
        m_trackBars[i]->setMinimumWidth(240);
        m_colourEdits[i] = new QLineEdit("1000", rgb);
        m_colourEdits[i]->setObjectName(QString("%1Edit").arg(names[i]));
        m_colourEdits[i]->setFixedWidth(56);
        FilterIntegerKeys(m_colourEdits[i], 4);
        g->addWidget(m_trackBars[i], i, 1);
        g->addWidget(m_colourEdits[i], i, 2);
        connect(m_trackBars[i], &QSlider::valueChanged, this, [this] {
            if (!m_coloursLoading)
                ApplyColour();
        });
        connect(m_colourEdits[i], &QLineEdit::textChanged, this, [this, i] { ColourEditChange(i); });
    }
    m_colorTypeBox = new QComboBox(rgb);
    m_colorTypeBox->setObjectName("ColorTypeBox");
    m_colorTypeBox->addItems({"Background", "Start palette", "End palette"});
    g->addWidget(new QLabel("Color Type", rgb), 3, 0);
    g->addWidget(m_colorTypeBox, 3, 1);
    cl->addWidget(rgb);
    cl->addStretch(1);
    m_pages->addTab(colours, "Colors");

    FilterIntegerKeys(m_widthEdit, 4);
    FilterIntegerKeys(m_heightEdit, 4);
    for (QLineEdit* e : {m_widthEdit, m_heightEdit})
        connect(e, &QLineEdit::textChanged, this, [this] { PropertyChanged(); });
    connect(m_colorBox, &QComboBox::currentIndexChanged, this, [this] { PropertyChanged(); });
    for (int i = 0; i < 3; ++i) {
        connect(m_planeBoxes[i], &QCheckBox::toggled, this, [this] { PropertyChanged(); });
        connect(m_visibleBoxes[i], &QCheckBox::toggled, this, [this] { PropertyChanged(); });
    }
    connect(m_enabledBox, &QCheckBox::toggled, this, [this] { PropertyChanged(); });
    for (QWidget* w : std::initializer_list<QWidget*>{m_widthEdit, m_heightEdit, m_colorBox, m_planeBoxes[0],
                                                      m_planeBoxes[1], m_planeBoxes[2], m_visibleBoxes[0],
                                                      m_visibleBoxes[1], m_visibleBoxes[2]})
        w->installEventFilter(this);
    connect(m_applyBtn, &QPushButton::clicked, this, [this] { ApplyBtnClick(); });
    connect(m_cancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    connect(m_colorTypeBox, &QComboBox::currentIndexChanged, this, [this] { LoadColours(); });
    connect(m_pages, &QTabWidget::currentChanged, this, [this] {
        ActivateEditor();
        PaintBoxPaint(ActivePaintBox());
    });
    m_editor.OnApply = [this] { ApplyCurves(); };

    m_handle = plat::WindowHandle::Attach(this, [this](unsigned Msg, plat::WParam W, plat::LParam L) -> plat::LResult {
        return Msg == WM_DRAWINGSYSTEMEVENT ? WMDrawingSystemEvent(W, L) : 0;
    });
    adjustSize();
    m_caption->SetText("SViewer 3D Setup");
    CentreOnScreen(this);
}

TSViewer3DSetup::~TSViewer3DSetup()
{
    SetDrawingSystem(nullptr);
    m_handle.Close();
}

void TSViewer3DSetup::SetDrawingSystem(TSDrawingSystem3D* DrawingSystem)
{
    if (DrawingSystem == m_drawingSystem)
        return;
    if (m_drawingSystem != nullptr) {
        // No render may still be telling this window of the old one's events.
        RenderPause pause(m_drawingSystem);
        m_drawingSystem->Events.Remove(Relay());
    }
    m_drawingSystem = DrawingSystem;
    if (DrawingSystem != nullptr)
        DrawingSystem->Events.Add(Relay());
    LoadPropertyPage();
    LoadCurves();
    LoadColours();
}

void TSViewer3DSetup::RelayDrawingSystemEvent(TObject*, std::int32_t Code, TSParam Param)
{
    // Events come from the render thread as well: the window acts in its own.
    m_handle.PostMessage(WM_DRAWINGSYSTEMEVENT, plat::WParam(Code), plat::LParam(Param));
}

plat::LResult TSViewer3DSetup::WMDrawingSystemEvent(plat::WParam Code, plat::LParam)
{
    if (std::int32_t(Code) != ecDrawUpdateEnd)
        return 0;
    if (!m_applyBtn->isEnabled())
        LoadPropertyPage();
    if (!m_curvesApplying)
        LoadCurves();
    if (!m_coloursLoading)
        LoadColours();
    return 0;
}

void TSViewer3DSetup::SetCaptionText(const std::string& Text)
{
    m_caption->SetText(Text);
    setWindowTitle(QString::fromStdString(Text));
}

std::string TSViewer3DSetup::CaptionText() const
{
    return m_caption->Text();
}

bool TSViewer3DSetup::Pinned() const
{
    return m_caption->IsPinned();
}

void TSViewer3DSetup::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    UpdateDisplayLabel();
    LoadPropertyPage();
    ComputeCurveLayout();
    LoadCurves();
    LoadColours();
}

bool TSViewer3DSetup::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            ApplyBtnClick();
    }
    return QWidget::eventFilter(Watched, Event);
}

// ----- Property page

void TSViewer3DSetup::UpdateDisplayLabel()
{
    std::int32_t w = 0, h = 0;
    const TSPixelFormat format = GetScreenPixelFormat(w, h);
    const int item = std::clamp(std::int32_t(format), 0, 5);
    m_displayLabel->setText(QString(" %1 x %2 x ").arg(w).arg(h) + kColorItems[item]);
}

void TSViewer3DSetup::LoadPropertyPage()
{
    if (!isVisible())
        return;
    TSFlagScope loading(m_propertyLoading);
    if (TSDrawingSystem3D* ds = m_drawingSystem) {
        m_widthEdit->setText(QString::number(ds->Width()));
        m_heightEdit->setText(QString::number(ds->Height()));
        m_colorBox->setCurrentIndex(std::clamp(std::int32_t(ds->ColorDepth()), 0, 5));
        m_enabledBox->setChecked(ds->Enabled());
        for (int p = 0; p < 3; ++p) {
            m_planeBoxes[p]->setChecked(ds->Canvas() != nullptr && ds->Canvas()->GetChannelEnabled(p + 1));
            m_visibleBoxes[p]->setChecked(ds->GetChannelEnabled(p + 1));
        }
    } else {
        m_widthEdit->setText("0");
        m_heightEdit->setText("0");
        m_colorBox->setCurrentIndex(0);
        m_enabledBox->setChecked(false);
        for (int p = 0; p < 3; ++p) {
            m_planeBoxes[p]->setChecked(false);
            m_visibleBoxes[p]->setChecked(false);
        }
    }
    m_applyBtn->setEnabled(false);
    m_cancelBtn->setEnabled(true);
}

void TSViewer3DSetup::PropertyChanged()
{
    if (!m_propertyLoading)
        m_applyBtn->setEnabled(true);
}

void TSViewer3DSetup::ApplyBtnClick()
{
    if (m_applyBtn->isEnabled())
        Apply();
}

void TSViewer3DSetup::CancelBtnClick()
{
    LoadPropertyPage();
}

void TSViewer3DSetup::ReportFailure(const std::string& Text)
{
    plat::MessageBox(plat::WindowHandle::Of(this), Text, kErrorCaption, plat::MB_OK | plat::MB_ICONERROR);
}

void TSViewer3DSetup::Apply()
{
    TSDrawingSystem3D* ds = m_drawingSystem;
    if (ds == nullptr) {
        LoadPropertyPage();
        return;
    }
    std::string failure;
    {
        // The render neither draws with a half-applied set-up nor reads what changes.
        RenderPause pause(ds);
        TSObjectLock lock(*ds);
        std::int32_t w = 0, h = 0;
        if (!TryParseInteger(m_widthEdit->text().toStdString(), w))
            w = 0;
        if (!TryParseInteger(m_heightEdit->text().toStdString(), h))
            h = 0;
        TSPixelFormat format = m_colorBox->currentIndex();
        if (format == 5 && IsWindowsNT())
            format = 6;
        TSSetupState now, wanted;
        TSCanvas3D* canvas = ds->Canvas();
        now.Width = canvas ? canvas->Width() : 0;
        now.Height = canvas ? canvas->Height() : 0;
        now.Enabled = ds->Enabled();
        wanted.Width = w;
        wanted.Height = h;
        wanted.Enabled = m_enabledBox->isChecked();
        for (int p = 0; p < 3; ++p) {
            now.Planes[p] = canvas && canvas->GetChannelEnabled(p + 1);
            wanted.Planes[p] = m_planeBoxes[p]->isChecked();
        }
        const bool structural = SetupIsStructural(now, wanted);
        structural ? ds->BeginChange(false, 0) : ds->BeginUpdate();
        try {
            if (structural) {
                ds->SetSize(0, 0);
                for (int p = 0; p < 3; ++p)
                    if (canvas)
                        canvas->SetChannelEnabled(p + 1, wanted.Planes[p]);
                ds->SetColorDepth(format);
                ds->SetSize(w, h);
            } else {
                ds->SetColorDepth(format);
            }
            ds->SetEnabled(wanted.Enabled);
            for (int p = 0; p < 3; ++p)
                ds->SetChannelEnabled(p + 1, m_visibleBoxes[p]->isChecked());
        } catch (const std::exception& e) {
            failure = e.what();
            if (failure.empty())
                failure = "The set-up could not be applied.";
        }
        // Closed also after a failure, so the viewer does not stay in a change.
        try {
            structural ? ds->EndChange(false, 0) : ds->EndUpdate();
        } catch (const std::exception& e) {
            if (failure.empty())
                failure = e.what();
        }
    }
    if (!failure.empty()) {
        ReportFailure(failure);  // the page keeps the user's values
        return;
    }
    LoadPropertyPage();
}

// ----- Curve pages

TSCurveBox* TSViewer3DSetup::ActivePaintBox() const
{
    const int page = m_pages->currentIndex();
    return page >= 1 && page <= 3 ? m_boxes[page - 1] : nullptr;
}

TSCnv3DIITransformer* TSViewer3DSetup::ActiveCurve() const
{
    const int page = m_pages->currentIndex();
    return page >= 1 && page <= 3 ? m_editCurves[page - 1].get() : nullptr;
}

void TSViewer3DSetup::ActivateEditor()
{
    m_editor.Curve = ActiveCurve();
    m_editor.Canvas = ActivePaintBox();
}

void TSViewer3DSetup::LoadCurves()
{
    if (m_curvesApplying)
        return;
    {
        TSFlagScope loading(m_curvesLoading);
        if (TSDrawingSystem3D* ds = m_drawingSystem) {
            TSObjectLock lock(*ds);
            for (int i = 0; i < 3; ++i) {
                if (TSCnv3DIITransformer* curve = ds->Curve(i + 1))
                    m_editCurves[i]->Assign(curve);
                else
                    m_editCurves[i]->Clear();
                m_sourceBoxes[i]->setCurrentIndex(std::clamp(ds->ColorSource(i + 1), 0, 3));
            }
        } else {
            for (int i = 0; i < 3; ++i) {
                m_editCurves[i]->Clear();
                m_sourceBoxes[i]->setCurrentIndex(0);
            }
        }
        for (int i = 1; i <= 3; ++i)
            FillGrid(i);
    }
    m_editor.HotIndex = -1;
    m_editor.Dragging = false;
    PaintBoxPaint(ActivePaintBox());
}

void TSViewer3DSetup::ApplyCurves()
{
    TSDrawingSystem3D* ds = m_drawingSystem;
    if (ds == nullptr || m_curvesApplying)
        return;
    TSFlagScope applying(m_curvesApplying);
    std::string failure;
    {
        RenderPause pause(ds);
        TSObjectLock lock(*ds);
        ds->BeginUpdate();
        try {
            for (int i = 0; i < 3; ++i) {
                ds->SetColorSource(i + 1, m_sourceBoxes[i]->currentIndex());
                if (TSCnv3DIITransformer* curve = ds->Curve(i + 1))
                    curve->Assign(m_editCurves[i].get());
            }
            for (int i = 1; i <= 3; ++i)
                FillGrid(i);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        try {
            ds->EndUpdate();
        } catch (const std::exception& e) {
            if (failure.empty())
                failure = e.what();
        }
    }
    if (!failure.empty())
        ReportFailure(failure);
}

void TSViewer3DSetup::FillGrid(int Channel)
{
    if (Channel < 1 || Channel > 3)
        return;
    QTableWidget* grid = m_grids[Channel - 1];
    const TSCnv3DIITransformer* curve = m_editCurves[Channel - 1].get();
    const int n = curve->Count();
    grid->setRowCount(std::max(n + 1, 2));
    const auto cell = [grid](int Row, int Column, const QString& Text) {
        if (QTableWidgetItem* item = grid->item(Row, Column))
            item->setText(Text);
        else
            grid->setItem(Row, Column, new QTableWidgetItem(Text));
    };
    if (n == 0) {
        cell(1, 0, "-");
        cell(1, 1, "-");
        return;
    }
    for (int i = 0; i < n; ++i) {
        cell(i + 1, 0, QString::number(IntMulDiv(curve->GetPointX(i), 1000, 32768)));
        cell(i + 1, 1, QString::number(IntMulDiv(curve->GetPointY(i), 1000, 65535)));
    }
}

void TSViewer3DSetup::ComputeCurveLayout()
{
    const TSIntPoint text = m_boxes[0]->TextSize();
    m_editor.Layout = ::ComputeCurveLayout(m_boxes[0]->width(), m_boxes[0]->height(), text.X, text.Y);
}

void TSViewer3DSetup::PaintBoxPaint(TSCurveBox* Sender)
{
    if (Sender == nullptr || m_pages->currentIndex() == 0 || !isVisible())
        return;
    ActivateEditor();
    m_editor.Paint();
}

void TSViewer3DSetup::PaintBoxMouseDown(bool Left, TSIntPoint)
{
    if (!Left)
        return;
    ActivateEditor();
    m_editor.SetDragging(true);
}

void TSViewer3DSetup::PaintBoxMouseMove(TSIntPoint P)
{
    ActivateEditor();
    m_editor.TrackMouse(P);
}

void TSViewer3DSetup::PaintBoxMouseUp()
{
    ActivateEditor();
    m_editor.SetDragging(false);
}

// ----- Colours page

void TSViewer3DSetup::LoadColours()
{
    {
        TSFlagScope loading(m_coloursLoading);
        TSColor3 colour{0, 0, 0};
        if (TSDrawingSystem3D* ds = m_drawingSystem) {
            switch (m_colorTypeBox->currentIndex()) {
            case 1:
                colour = ds->StartPaletteColor();
                break;
            case 2:
                colour = ds->EndPaletteColor();
                break;
            default:
                colour = ds->BackgroundColor();
                break;
            }
        }
        for (int i = 0; i < 3; ++i)
            m_trackBars[i]->setValue(int(std::lround(colour[std::size_t(i)] * 1000)));
        for (int i = 0; i < 3; ++i)
            m_colourEdits[i]->setText(QString::number(m_trackBars[i]->value()));
    }
}

void TSViewer3DSetup::ApplyColour()
{
    TSDrawingSystem3D* ds = m_drawingSystem;
    if (ds == nullptr) {
        LoadColours();
        return;
    }
    const TSColor3 k{m_trackBars[0]->value() / 1000.0, m_trackBars[1]->value() / 1000.0,
                     m_trackBars[2]->value() / 1000.0};
    RenderPause pause(ds);
    switch (m_colorTypeBox->currentIndex()) {
    case 1:
        ds->SetStartPaletteColor(k);
        break;
    case 2:
        ds->SetEndPaletteColor(k);
        break;
    default:
        ds->SetBackgroundColor(k);
        break;
    }
}

void TSViewer3DSetup::ColourEditChange(int Index)
{
    if (m_coloursLoading)
        return;
    const std::string text = m_colourEdits[Index]->text().toStdString();
    std::int32_t v = -1;
    if (!text.empty() && !TryParseInteger(text, v))
        v = -1;
    if (v < 0 || v > 1000)
        return;
    {
        TSFlagScope loading(m_coloursLoading);
        m_trackBars[Index]->setValue(v);
    }
    ApplyColour();
}

// ----- Window state

std::int32_t TSViewer3DSetup::SaveState(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return 16;
    const std::int32_t values[4] = {x(), y(), WindowStackOrder(this),
                                    (isVisible() ? 1 : 0) | (m_caption->IsPinned() ? 2 : 0)};
    Stream->Write(values, 16);
    return 16;
}

std::int32_t TSViewer3DSetup::LoadState(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::int32_t values[4] = {};
    Stream->Read(values, 16);
    const bool pinned = (values[3] & 2) != 0;
    m_caption->SetPinned(pinned);
    PlaceWindow(this, values[0], values[1], -1, -1, pinned, false);
    if ((values[3] & 1) != 0)
        if (auto* project = dynamic_cast<THalcyte3DProject*>(Stream->GetProject()))
            project->RegisterWindow(this, values[2]);
    return 16;
}
