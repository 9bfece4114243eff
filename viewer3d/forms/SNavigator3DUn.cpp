#include "viewer3d/forms/SNavigator3DUn.h"

#include "viewer3d/drawing/SDrawing3D.h"
#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/NavigatorModels.h"
#include "viewer3d/forms/SFinder3DUn.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/HcProject3D.h"

#include "engine3d/geometry/SBasis3D.h"
#include "engine3d/model/SInterface.h"
#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/render/SMemBitmapView.h"
#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SClasses3DPoints.h"
#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/scene/SScene3D.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/threads/GuiThread.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <utility>

constinit const TSClassInfo TSNavigator3DContainerObject::ClassInfo{
    "TSNavigator3DContainerObject", &TSCustomChangeObject::ClassInfo, &TSNewObject<TSNavigator3DContainerObject>};

namespace {

constexpr char kNoObject[] = "- No Object -";
constexpr char kErrorCaption[] = "Error";
constexpr char kCaption[] = "Navigator 3D";
constexpr int kRepeatMs = 100;
constexpr std::int32_t ecFrameChanged = 4100;

// Messages of the navigator's window besides the drawing system's WM_USER.
constexpr unsigned kFrameMessage = plat::WM_USER + 1;  // wParam event code, lParam frame
constexpr unsigned kCaptionMessage = plat::WM_USER + 2;

// Edit captions by tag, and where the rows lie (tags 1 to 3, then 7, then 4 to 6).
constexpr const char* kEditCaptions[TSNavigator3D::kEditCount] = {"X '", "Y '", "Z '", "X^X'", "Y^Y'", "Z^Z'", "D '"};
constexpr int kEditRow[TSNavigator3D::kEditCount] = {0, 1, 2, 4, 5, 6, 3};

// Layout of the client area, in pixels from the window's top left.
constexpr int kTop = kCaptionHeight + 4;
constexpr int kRightColumn = 176;
constexpr int kRowHeight = 26;
constexpr int kMemoLeft = 346;
constexpr int kMemoWidth = 330;
constexpr int kMemoHeight = 274;

struct RelationFrames {
    TSVector3D MasterOrigin;
    TSMatrix3D MasterMatrix;
    TSMatrix3D MasterInverse;
};

RelationFrames MasterFrames(const TSBasis3D* Master)
{
    RelationFrames r;
    IdentityMatrix3D(r.MasterMatrix);
    IdentityMatrix3D(r.MasterInverse);
    if (Master != nullptr) {
        r.MasterOrigin = Master->Origin();
        r.MasterMatrix = Master->Matrix();
        r.MasterInverse = Master->InverseMatrix();
    }
    return r;
}

QToolButton* MakeButton(QWidget* Parent, const char* Name, const QString& Text, QRect Geometry, bool Checkable = false)
{
    auto* button = new QToolButton(Parent);
    button->setObjectName(Name);
    button->setText(Text);
    button->setGeometry(Geometry);
    button->setCheckable(Checkable);
    return button;
}

// The small arrow of a stepper.
QIcon StepperIcon(bool Up)
{
    QPixmap image(9, 5);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const QPolygonF triangle = Up ? QPolygonF({QPointF(0, 5), QPointF(9, 5), QPointF(4.5, 0)})
                                  : QPolygonF({QPointF(0, 0), QPointF(9, 0), QPointF(4.5, 5)});
    p.drawPolygon(triangle);
    return QIcon(image);
}

}  // namespace

// The preview box: the drawing system's picture; left-button drags turn the relation.
class TSNavigator3D::PreviewBox final : public QWidget {
public:
    PreviewBox(TSNavigator3D* Form, QWidget* Parent) : QWidget(Parent), m_form(Form)
    {
        setObjectName("PaintBox1");
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override { m_form->PaintPreview(this); }
    void mousePressEvent(QMouseEvent* Event) override
    {
        if (Event->button() == Qt::LeftButton)
            m_form->PreviewPress(Event->position().toPoint());
    }
    void mouseMoveEvent(QMouseEvent* Event) override { m_form->PreviewMove(Event->position().toPoint()); }
    void mouseReleaseEvent(QMouseEvent* Event) override
    {
        if (Event->button() == Qt::LeftButton)
            m_form->PreviewRelease();
    }

private:
    TSNavigator3D* m_form;
};

// ---------------------------------------------------------------------------
// The window

TSNavigator3D::TSNavigator3D(TSNavigator3DContainerObject* Container) : QWidget(nullptr, Qt::Tool), m_container(Container)
{
    setObjectName("SNavigator3D");
    setWindowTitle(kCaption);
    m_reperData.SetData(&::ReperData());
    m_dialData.SetData(&::DialData());
    m_handle = plat::WindowHandle::Attach(this, [this](unsigned Msg, plat::WParam W, plat::LParam L) -> plat::LResult {
        if (m_destroying)
            return 0;
        if (Msg == plat::WM_USER && static_cast<std::int32_t>(W) == ecPresented) {
            if (isVisible())
                m_paintBox->update();
        } else if (Msg == kFrameMessage) {
            FrameMessage(static_cast<std::int32_t>(W), reinterpret_cast<TSBasis3D*>(L));
        } else if (Msg == kCaptionMessage && m_container != nullptr) {
            SetCaptionText(m_container->Name());
        }
        return 0;
    });
    BuildControls();
    BuildPreview();
    FitToMemo();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }
}

TSNavigator3D::~TSNavigator3D()
{
    m_timer->stop();
    m_destroying = true;
    SetSlave(nullptr);
    SetMaster(nullptr);
    m_handle.Close();
    if (m_drawing != nullptr)
        m_drawing->SetViewerWindow({});
    // The scene frees its lists, models, light, camera and drawing system.
    delete std::exchange(m_scene, nullptr);
    m_drawing = nullptr;
}

void TSNavigator3D::BuildControls()
{
    m_caption = new TSFlatCaption(this);
    m_caption->SetText(kCaption);
    m_caption->ShowButtons({fccClose, fccScreenPin});
    m_caption->setFixedHeight(kCaptionHeight);

    m_bevel = new QFrame(this);
    m_bevel->setObjectName("Bevel1");
    m_bevel->setFrameShape(QFrame::Panel);
    m_bevel->setFrameShadow(QFrame::Sunken);
    m_bevel->setLineWidth(2);
    m_bevel->setGeometry(4, kTop, kPreviewSize + 4, kPreviewSize + 4);
    m_paintBox = new PreviewBox(this, m_bevel);
    m_paintBox->setGeometry(2, 2, kPreviewSize, kPreviewSize);

    int y = kTop + kPreviewSize + 8;
    m_masterBtn = MakeButton(this, "MasterBtn", "Master", QRect(4, y, 56, 22));
    m_masterBtn->setToolTip("Chose Master Basis");
    m_masterLabel = new QLabel(kNoObject, this);
    m_masterLabel->setObjectName("MasterLabel");
    m_masterLabel->setGeometry(64, y, 104, 22);
    y += 26;
    m_slaveBtn = MakeButton(this, "SlaveBtn", "Slave", QRect(4, y, 56, 22));
    m_slaveBtn->setToolTip("Chose Slave Basis");
    m_slaveLabel = new QLabel(kNoObject, this);
    m_slaveLabel->setObjectName("SlaveLabel");
    m_slaveLabel->setGeometry(64, y, 104, 22);
    y += 28;
    m_conventionGroup = new QButtonGroup(this);
    m_conventionGroup->setExclusive(true);
    const char* conventionNames[3] = {"ButtonA", "ButtonB", "ButtonC"};
    for (int i = 0; i < 3; ++i) {
        QToolButton* b = MakeButton(this, conventionNames[i], QString::number(i + 1), QRect(4 + 30 * i, y, 28, 22), true);
        b->setToolTip("Axis convention of the angles");
        m_conventionGroup->addButton(b, i + 1);
        m_convention[i] = b;
    }
    m_convention[0]->setChecked(true);
    m_inverseBtn = MakeButton(this, "InverseBtn", "Mirror", QRect(100, y, 68, 22), true);
    m_inverseBtn->setToolTip("Mirrored orientation");
    y += 28;
    m_incBar = new QSlider(Qt::Horizontal, this);
    m_incBar->setObjectName("IncBar");
    m_incBar->setRange(0, 6);
    m_incBar->setPageStep(1);
    m_incBar->setTickPosition(QSlider::TicksBelow);
    m_incBar->setGeometry(4, y, 96, 22);
    m_incLabel = new QLabel(this);
    m_incLabel->setObjectName("IncLabel");
    m_incLabel->setGeometry(104, y, 68, 22);
    IncBarChanged(0);

    const QIcon up = StepperIcon(true), down = StepperIcon(false);
    for (int tag = 1; tag <= kEditCount; ++tag) {
        const int rowY = kTop + kEditRow[tag - 1] * kRowHeight;
        auto* label = new QLabel(kEditCaptions[tag - 1], this);
        label->setGeometry(kRightColumn, rowY, 40, 22);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString("Edit") + "XYZABCD"[tag - 1]);
        edit->setGeometry(kRightColumn + 42, rowY, 96, 22);
        edit->setProperty("tag", tag);
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textChanged, this, [this, tag] { Guarded([&] { EditChanged(tag); }); });
        m_edits[tag - 1] = edit;
        for (int half = 0; half < 2; ++half) {
            const int speedTag = 2 * tag - 1 + half;
            auto* b = new QToolButton(this);
            b->setObjectName(QString("SpeedButton%1").arg(speedTag));
            b->setAutoRaise(true);
            b->setIcon(half == 0 ? up : down);
            b->setIconSize(QSize(9, 5));
            b->setGeometry(kRightColumn + 140, rowY + 11 * half, 18, 11);
            connect(b, &QToolButton::pressed, this, [this, speedTag] { Guarded([&] { SpeedPressed(speedTag); }); });
            connect(b, &QToolButton::released, this, [this] { Guarded([&] { SetRepeat(0, false, 0); }); });
            m_speed[speedTag - 1] = b;
        }
    }
    y = kTop + kEditCount * kRowHeight + 4;
    m_minusBtn = MakeButton(this, "MinusBtn", "-", QRect(kRightColumn, y, 28, 22));
    m_minusBtn->setToolTip("Nearer");
    m_plusBtn = MakeButton(this, "PlusBtn", "+", QRect(kRightColumn + 30, y, 28, 22));
    m_plusBtn->setToolTip("Farther");
    m_msBtn = MakeButton(this, "MS_Btn", "Master in Slave", QRect(kRightColumn + 62, y, 96, 22), true);
    m_msBtn->setToolTip("Edit the master relative to the slave");
    y += 26;
    m_fixerBtn = MakeButton(this, "FixerBtn", "Fixer", QRect(kRightColumn, y, 78, 22), true);
    m_fixerBtn->setToolTip("Keep the view direction");
    m_applyBtn = MakeButton(this, "ApplyBtn", "Apply", QRect(kRightColumn + 80, y, 78, 22));
    y += 26;
    m_resetBtn = MakeButton(this, "ResetBtn", "Reset", QRect(kRightColumn, y, 78, 22));
    m_moreBtn = MakeButton(this, "MoreBtn", "More >>", QRect(kRightColumn + 80, y, 78, 22), true);

    m_paintBox2 = new QWidget(this);
    m_paintBox2->setObjectName("PaintBox2");
    m_paintBox2->setGeometry(kMemoLeft - 6, kTop, 4, kMemoHeight);
    m_paintBox2->installEventFilter(this);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName("MoreMemo");
    m_memo->setReadOnly(true);
    m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_memo->setGeometry(kMemoLeft, kTop, kMemoWidth, kMemoHeight);

    m_timer = new QTimer(this);
    m_timer->setObjectName("Timer1");
    m_timer->setInterval(kRepeatMs);
    connect(m_timer, &QTimer::timeout, this, [this] { Guarded([&] { RepeatStep(); }); });

    connect(m_masterBtn, &QToolButton::clicked, this, [this] { Guarded([&] { PickMaster(); }); });
    connect(m_slaveBtn, &QToolButton::clicked, this, [this] { Guarded([&] { PickSlave(); }); });
    connect(m_conventionGroup, &QButtonGroup::idClicked, this, [this] { Guarded([&] { RefreshControls(); }); });
    connect(m_inverseBtn, &QToolButton::clicked, this, [this] { Guarded([&] { InverseClicked(); }); });
    connect(m_incBar, &QSlider::valueChanged, this, [this](int Position) { IncBarChanged(Position); });
    connect(m_minusBtn, &QToolButton::clicked, this, [this] { Guarded([&] { ScaleDistance(1 / 1.25); }); });
    connect(m_plusBtn, &QToolButton::clicked, this, [this] { Guarded([&] { ScaleDistance(1.25); }); });
    connect(m_msBtn, &QToolButton::clicked, this, [this] { Guarded([&] { MSClicked(); }); });
    connect(m_fixerBtn, &QToolButton::clicked, this, [this] { Guarded([&] { FixerClicked(); }); });
    connect(m_applyBtn, &QToolButton::clicked, this, [this] { Guarded([&] { ApplyToSlave(); }); });
    connect(m_resetBtn, &QToolButton::clicked, this, [this] { Guarded([&] { ReadRelation(); }); });
    connect(m_moreBtn, &QToolButton::clicked, this, [this] { Guarded([&] { MoreClicked(); }); });
}

void TSNavigator3D::BuildPreview()
{
    m_scene = TSObject::Create<TSSimpleScene3D>();
    InChange(*m_scene, [&] {
        m_drawing = TSDrawingSystem3D::CreateOffscreen(nullptr);
        m_drawing->SetSize(kPreviewSize, kPreviewSize);
        m_drawing->SetColorDepth(1);
        m_drawing->SetViewerWindow(m_handle);
        m_drawing->SetSmooth(true);
        m_scene->SetDrawSystem(m_drawing);
        auto* light = TSObject::Create<TSAmbientLight3D>();
        light->SetColor({1, 1, 1});
        m_scene->Lights()->Add(light);
        BuildPreviewModels();
        auto* eye = TSObject::Create<TSEyeSystem3D>();
        eye->SetScreenDistance(std::round((kPreviewSize + kPreviewSize) * 3 / 4.8));
        TSMatrix3D look;
        IdentityMatrix3D(look);
        look(2, 2) = -1;
        eye->Frame()->SetPlacement(look, {0, 0, 3});
        m_scene->Cameras()->Add(eye);
        m_scene->SetCamera(eye);
    });
}

void TSNavigator3D::BuildPreviewModels()
{
    m_dialList = TSObject::Create<TSCustomConstruction3DList>();
    m_scene->Objects()->Add(m_dialList);
    m_reperList = TSObject::Create<TSCustomConstruction3DList>();
    m_scene->Objects()->Add(m_reperList);

    auto* dial = TSObject::Create<TSTiesConstruction3D>();
    dial->BeginUpdate(0);
    try {
        dial->SetLighting(0);
        dial->LoadFromStrings(m_dialData.Data());
    } catch (...) {
        dial->EndUpdate(0);
        delete dial;
        throw;
    }
    dial->EndUpdate(0);
    m_dialList->Add(dial);

    auto* reper = TSObject::Create<TSTiesConstruction3D>();
    reper->BeginUpdate(0);
    try {
        reper->SetLighting(0);
        reper->SetAttenuation(-0.25, 0, 0.27);
        reper->LoadFromStrings(m_reperData.Data());
        reper->SetSmooth(true);
    } catch (...) {
        reper->EndUpdate(0);
        delete reper;
        throw;
    }
    reper->EndUpdate(0);
    m_reperList->Add(reper);
}

void TSNavigator3D::Guarded(const std::function<void()>& Body)
{
    try {
        Body();
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        plat::MessageBox(m_handle, e.what(), kErrorCaption, plat::MB_OK | plat::MB_ICONERROR);
    }
}

THalcyte3DProject* TSNavigator3D::CurrentProject() const
{
    return m_container != nullptr ? dynamic_cast<THalcyte3DProject*>(FindProjectOfObject(m_container)) : nullptr;
}

int TSNavigator3D::Convention() const
{
    const int id = m_conventionGroup->checkedId();
    return id >= 1 && id <= 3 ? id : 1;
}

void TSNavigator3D::SyncToggles()
{
    m_relation.ShowMaster = m_msBtn->isChecked();
    m_relation.Fixer = m_fixerBtn->isChecked();
    m_relation.Mirror = m_inverseBtn->isChecked();
}

void TSNavigator3D::SetCaptionText(const std::string& Text)
{
    m_caption->SetText(Text);
    setWindowTitle(QString::fromStdString(Text));
}

void TSNavigator3D::FitToMemo()
{
    const int w = m_moreBtn->isChecked() ? m_memo->x() + m_memo->width() + 1 : m_memo->x() - 1;
    resize(w, m_memo->y() + m_memo->height() + 1);
}

// ---------------------------------------------------------------------------
// Frames

void TSNavigator3D::SetFrame(TSBasis3D*& Field, TSBasis3D* Other, TSBasis3D* Frame)
{
    if (Frame == Field || (Frame != nullptr && Frame == Other))
        return;
    const TSEventHandler handler = TSEventHandler::Of<&TSNavigator3D::FrameEvent>(this);
    if (Field != nullptr)
        Field->Events.Remove(handler);
    Field = Frame;
    if (Field != nullptr)
        Field->Events.Add(handler);
    ShowFrameNames();
    ReadRelation();
}

void TSNavigator3D::SetMaster(TSBasis3D* Frame)
{
    SetFrame(m_master, m_slave, Frame);
}

void TSNavigator3D::SetSlave(TSBasis3D* Frame)
{
    SetFrame(m_slave, m_master, Frame);
}

void TSNavigator3D::ShowFrameNames()
{
    // A long name shows whole in the label's hint.
    for (auto [label, frame] : {std::pair{m_masterLabel, m_master}, std::pair{m_slaveLabel, m_slave}}) {
        const QString name = QString::fromStdString(frame != nullptr ? frame->Name() : kNoObject);
        label->setText(name);
        label->setToolTip(name);
    }
}

void TSNavigator3D::FrameEvent(TObject* Sender, std::int32_t Code, TSParam)
{
    if (Code != ecDestroying && Code != ecChanged && Code != ecEndTransform)
        return;
    auto* frame = static_cast<TSBasis3D*>(static_cast<TSObject*>(Sender));
    if (plat::IsGuiThread())
        FrameMessage(Code, frame);
    else if (Code == ecDestroying)
        // The frame must be forgotten before it goes.
        plat::CallOnGuiThread([&] { FrameMessage(Code, frame); });
    else
        m_handle.PostMessage(kFrameMessage, static_cast<plat::WParam>(Code), reinterpret_cast<plat::LParam>(frame));
}

void TSNavigator3D::FrameMessage(std::int32_t Code, TSBasis3D* Frame)
{
    if (m_destroying || Frame == nullptr || (Frame != m_master && Frame != m_slave))
        return;
    switch (Code) {
    case ecDestroying:
        if (Frame == m_master)
            SetMaster(nullptr);
        else
            SetSlave(nullptr);
        break;
    case ecChanged:
        ShowFrameNames();
        break;
    case ecEndTransform:
        if (Frame == m_master || !m_applyingToSlave)
            Guarded([&] { ReadRelation(); });
        break;
    default:
        break;
    }
}

void TSNavigator3D::PickMaster()
{
    THalcyte3DProject* project = CurrentProject();
    TSBasis3D* frame = m_master;
    if (project != nullptr && TSObject3DFinder::Execute("Chose Master Basis", project, frame))
        SetMaster(frame);
}

void TSNavigator3D::PickSlave()
{
    THalcyte3DProject* project = CurrentProject();
    TSBasis3D* frame = m_slave;
    if (project != nullptr && TSObject3DFinder::Execute("Chose Slave Basis", project, frame))
        SetSlave(frame);
}

// ---------------------------------------------------------------------------
// The relation

void TSNavigator3D::ReadRelation()
{
    if (m_destroying)
        return;
    SyncToggles();
    const RelationFrames master = MasterFrames(m_master);
    TSVector3D slaveOrigin;
    TSMatrix3D slaveMatrix;
    IdentityMatrix3D(slaveMatrix);
    if (m_slave != nullptr) {
        slaveOrigin = m_slave->Origin();
        slaveMatrix = m_slave->Matrix();
    }
    m_relation.Read(master.MasterOrigin, master.MasterInverse, slaveOrigin, slaveMatrix);
    {
        const QSignalBlocker block(m_inverseBtn);
        m_inverseBtn->setChecked(m_relation.Mirror);
    }
    UpdatePreviewFrame();
    RefreshControls();
}

void TSNavigator3D::ApplyToSlave()
{
    if (m_destroying)
        return;
    if (m_slave != nullptr) {
        if (m_relation.Dragging() || Repeating())
            SetProjectMode(1);
        const RelationFrames master = MasterFrames(m_master);
        // A relation that is singular or not finite never reaches the slave.
        if (const auto placement = m_relation.SlavePlacement(master.MasterOrigin, master.MasterMatrix)) {
            m_applyingToSlave = true;
            try {
                m_slave->SetPlacement(placement->Matrix, placement->Origin);
            } catch (...) {
                m_applyingToSlave = false;
                throw;
            }
            m_applyingToSlave = false;
        }
    }
    UpdatePreviewFrame();
    RefreshControls();
}

void TSNavigator3D::UpdatePreviewFrame()
{
    if (m_destroying || m_reperList == nullptr)
        return;
    TSMatrix3D n = m_relation.RelativeMatrix;
    for (int c = 0; c < 3; ++c) {
        const double l = std::sqrt(n(0, c) * n(0, c) + n(1, c) * n(1, c) + n(2, c) * n(2, c));
        if (!(l > 0) || !std::isfinite(l))
            return;
        for (int r = 0; r < 3; ++r)
            n(r, c) /= l;
    }
    m_reperList->Frame()->SetPlacement(n, {0, 0, 0});
}

void TSNavigator3D::RefreshControls()
{
    if (m_destroying || m_refreshing)
        return;
    m_refreshing = true;
    struct Reset {
        bool& Flag;
        ~Reset() { Flag = false; }
    } reset{m_refreshing};
    SyncToggles();
    auto write = [](QLineEdit* Edit, int Width, int Decimals, double Value) {
        std::string text = Edit->text().toStdString();
        if (SetEditNumber(text, Width, Decimals, Value))
            Edit->setText(QString::fromStdString(text));
    };
    const TSVector3D p = m_relation.ShownPosition();
    write(m_edits[0], 13, 6, p.X);
    write(m_edits[1], 13, 6, p.Y);
    write(m_edits[2], 13, 6, p.Z);
    write(m_edits[6], 13, 6, m_relation.Distance());
    double a = 0, b = 0, g = 0;
    m_relation.GetRelativeAngles(Convention(), m_relation.ShowMaster, a, b, g);
    if (m_anglesLive) {
        write(m_edits[3], 6, 2, a);
        write(m_edits[4], 6, 2, b);
        write(m_edits[5], 6, 2, g);
    }
    QString memo = QString::fromStdString(m_relation.MemoText());
    memo.replace("\r\n", "\n");
    m_memo->setPlainText(memo);
}

void TSNavigator3D::EditChanged(int Tag)
{
    if (m_refreshing || m_destroying)
        return;
    SyncToggles();
    auto value = [this](int T) {
        double v = 0;
        if (!TryParseReal(m_edits[T - 1]->text().toStdString(), v))
            v = 0;
        return v;
    };
    if (Tag >= 1 && Tag <= 3) {
        if (m_relation.SetRelativePosition(m_relation.ShowMaster, m_relation.Fixer, value(1), value(2), value(3))) {
            UpdatePreviewFrame();
            RefreshControls();
        }
    } else if (Tag >= 4 && Tag <= 6) {
        m_anglesLive = false;
        struct Live {
            bool& Flag;
            ~Live() { Flag = true; }
        } live{m_anglesLive};
        if (m_relation.SetRelativeAngles(Convention(), m_relation.ShowMaster, value(4), value(5), value(6),
                                         m_relation.Mirror)) {
            UpdatePreviewFrame();
            RefreshControls();
        }
    } else if (Tag == 7) {
        SetDistance(value(7));
    }
}

void TSNavigator3D::SetDistance(double D)
{
    m_relation.SetDistance(D);
    UpdatePreviewFrame();
    RefreshControls();
}

void TSNavigator3D::ScaleDistance(double Factor)
{
    SetDistance(m_relation.Distance() * Factor);
    ApplyToSlave();
}

void TSNavigator3D::InverseClicked()
{
    SyncToggles();
    double a = 0, b = 0, g = 0;
    const int convention = Convention();
    m_relation.GetRelativeAngles(convention, m_relation.ShowMaster, a, b, g);
    if (!m_relation.SetRelativeAngles(convention, m_relation.ShowMaster, a, b, g, m_inverseBtn->isChecked())) {
        const QSignalBlocker block(m_inverseBtn);
        m_inverseBtn->setChecked(m_relation.Mirror);
    }
    UpdatePreviewFrame();
    RefreshControls();
}

void TSNavigator3D::FixerClicked()
{
    SyncToggles();
    m_relation.CaptureFixedDirection();
}

void TSNavigator3D::MSClicked()
{
    SyncToggles();
    m_relation.CaptureFixedDirection();
    RefreshControls();
}

void TSNavigator3D::MoreClicked()
{
    FitToMemo();
}

void TSNavigator3D::IncBarChanged(int Position)
{
    m_incLabel->setText(Position == 0 ? QStringLiteral("Step :  1") : QString("Step : 1e-%1").arg(Position));
}

// ---------------------------------------------------------------------------
// Auto-repeat

void TSNavigator3D::SpeedPressed(int Tag)
{
    double step = TSNavigatorRelation::StepSize(m_incBar->value());
    if (Tag % 2 == 0)
        step = -step;
    SetRepeat((Tag + 1) / 2, true, step);
}

bool TSNavigator3D::Repeating() const
{
    return m_timer->isActive();
}

void TSNavigator3D::SetRepeat(std::int32_t Index, bool On, double Step)
{
    if (On == m_timer->isActive())
        return;
    if (On) {
        if (Index < 1 || Index > kEditCount)
            return;
        m_repeatDelta = Step;
        m_repeatIndex = Index;
        m_repeatCount = 0;
        m_timer->start();
        SetProjectMode(1);
        RepeatStep();
    } else {
        m_timer->stop();
        RedrawProject();
    }
}

void TSNavigator3D::RepeatStep()
{
    if (m_repeatIndex < 1 || m_repeatIndex > kEditCount)
        return;
    QLineEdit* edit = m_edits[m_repeatIndex - 1];
    double value = 0;
    if (!TryParseReal(edit->text().toStdString(), value))
        value = 0;
    value += TSNavigatorRelation::RepeatFactor(m_repeatCount) * m_repeatDelta;
    edit->setText(QString::fromStdString(FormatReal(value, 13, 6)));
    ++m_repeatCount;
    ApplyToSlave();
}

void TSNavigator3D::SetProjectMode(std::uint8_t Mode)
{
    if (THalcyte3DProject* project = CurrentProject())
        project->SetMode(Mode);
}

void TSNavigator3D::RedrawProject()
{
    THalcyte3DProject* project = CurrentProject();
    if (project == nullptr)
        return;
    project->PauseRendering();
    try {
        project->SetMode(0);
        if (m_slave != nullptr)
            m_slave->Events.Notify(m_slave, ecFrameChanged, reinterpret_cast<TSParam>(m_slave));
        project->Invalidate(nullptr);
    } catch (...) {
        project->ResumeRendering();
        throw;
    }
    project->ResumeRendering();
}

// ---------------------------------------------------------------------------
// Mouse in the preview

void TSNavigator3D::PreviewPress(QPoint At)
{
    Guarded([&] {
        m_relation.BeginDrag({At.x(), At.y()}, m_paintBox->width(), m_paintBox->height());
    });
}

void TSNavigator3D::PreviewMove(QPoint At)
{
    Guarded([&] {
        if (m_relation.DragTo({At.x(), At.y()}, m_paintBox->width(), m_paintBox->height()))
            ApplyToSlave();
    });
}

void TSNavigator3D::PreviewRelease()
{
    Guarded([&] { SetDragging(false); });
}

void TSNavigator3D::SetDragging(bool On)
{
    if (On == m_relation.Dragging())
        return;
    if (On) {
        m_relation.BeginDrag({}, m_paintBox->width(), m_paintBox->height());
        return;
    }
    m_relation.EndDrag();
    if (m_slave != nullptr)
        RedrawProject();
}

void TSNavigator3D::PaintPreview(QWidget* Box)
{
    QPainter painter(Box);
    QImage image;
    if (isVisible() && m_drawing != nullptr)
        image = MemoryBitmapImage(*m_drawing->Bitmap());
    if (!image.isNull())
        painter.drawImage(QPoint(0, 0), image);
    const QRegion rest = QRegion(Box->rect()) - QRegion(QRect(QPoint(0, 0), image.size()));
    for (const QRect& r : rest)
        painter.fillRect(r, Qt::black);
}

bool TSNavigator3D::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == m_paintBox2 && Event->type() == QEvent::Paint) {
        QPainter p(m_paintBox2);
        p.setPen(Qt::white);
        p.drawLine(1, 0, 1, m_paintBox2->height());
        return true;
    }
    auto* edit = qobject_cast<QLineEdit*>(Watched);
    if (edit != nullptr && Event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(Event);
        if (key->key() == Qt::Key_Backspace)
            return false;
        const QString text = key->text();
        if (text.isEmpty() || !text[0].isPrint())
            return false;  // moves, deletion and shortcuts
        const QChar c = text[0];
        const QString current = edit->text();
        const bool allowed = (c.isDigit() && c.unicode() < 128) || c == '-' || c == '.';
        if (!allowed || current.size() > 12 || ((c == '-' || c == '.') && current.contains(c)))
            return true;
        return false;
    }
    return QWidget::eventFilter(Watched, Event);
}

void TSNavigator3D::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    FitToMemo();
    Guarded([&] {
        UpdatePreviewFrame();
        RefreshControls();
    });
}

// ---------------------------------------------------------------------------
// State record

TSNavigatorState TSNavigator3D::SaveState()
{
    TSNavigatorState state;
    state.Convention = Convention();
    state.StepExponent = m_incBar->value();
    state.Flags = (m_caption->IsPinned() ? TSNavigatorState::Pinned : 0) |
                  (m_moreBtn->isChecked() ? TSNavigatorState::More : 0) |
                  (m_msBtn->isChecked() ? TSNavigatorState::ShowMaster : 0) |
                  (m_fixerBtn->isChecked() ? TSNavigatorState::Fixer : 0);
    m_savedOrder = isVisible() ? WindowStackOrder(this) : 0;
    m_savedPosition = pos();
    state.Order = m_savedOrder;
    state.Left = m_savedPosition.x();
    state.Top = m_savedPosition.y();
    return state;
}

void TSNavigator3D::LoadState(const TSNavigatorState& State)
{
    SetSlave(nullptr);
    SetMaster(nullptr);
    if (State.Convention >= 1 && State.Convention <= 3)
        m_convention[State.Convention - 1]->setChecked(true);
    m_incBar->setValue(State.StepExponent);
    m_caption->SetPinned((State.Flags & TSNavigatorState::Pinned) != 0);
    m_moreBtn->setChecked((State.Flags & TSNavigatorState::More) != 0);
    m_msBtn->setChecked((State.Flags & TSNavigatorState::ShowMaster) != 0);
    m_fixerBtn->setChecked((State.Flags & TSNavigatorState::Fixer) != 0);
    SyncToggles();
    m_savedOrder = State.Order;
    m_savedPosition = QPoint(State.Left, State.Top);
}

void TSNavigator3D::LinkState(TSBasis3D* Master, TSBasis3D* Slave, TObject* Project)
{
    SetMaster(Master);
    SetSlave(Slave);
    ReadRelation();
    FitToMemo();
    PlaceWindow(this, m_savedPosition.x(), m_savedPosition.y(), 0, 0, m_caption->IsPinned(), false);
    if (auto* project = dynamic_cast<THalcyte3DProject*>(Project); project != nullptr && m_savedOrder != 0)
        project->RegisterWindow(this, m_savedOrder);
}

// ---------------------------------------------------------------------------
// The container

TSNavigator3DContainerObject::~TSNavigator3DContainerObject()
{
    if (TSNavigator3D* window = std::exchange(m_window, nullptr))
        plat::CallOnGuiThread([window] { delete window; });
}

void TSNavigator3DContainerObject::Initialize()
{
    TSCustomChangeObject::Initialize();
    plat::CallOnGuiThread([this] {
        m_window = new TSNavigator3D(this);
        m_window->SetCaptionText(Name());
    });
}

void TSNavigator3DContainerObject::Changed()
{
    if (m_window != nullptr) {
        if (plat::IsGuiThread())
            m_window->SetCaptionText(Name());
        else
            m_window->Handle().PostMessage(kCaptionMessage);
    }
    TSCustomChangeObject::Changed();
}

std::int32_t TSNavigator3DContainerObject::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    const std::int32_t base = TSCustomChangeObject::Save(Stream);
    TSNavigatorState state;
    if (m_window != nullptr)
        plat::CallOnGuiThread([&] { state = m_window->SaveState(); });
    if (m_window != nullptr) {
        state.Master = Stream->ObjectIdentity(m_window->Master());
        state.Slave = Stream->ObjectIdentity(m_window->Slave());
    }
    return base + state.Write(Stream);
}

std::int32_t TSNavigator3DContainerObject::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    const std::int32_t base = TSCustomChangeObject::Load(Stream);
    const TSNavigatorState state = TSNavigatorState::Read(Stream, this);
    if (m_window != nullptr)
        plat::CallOnGuiThread([&] {
            m_window->LoadState(state);
            m_window->SetCaptionText(Name());
        });
    m_savedMaster = state.Master;
    m_savedSlave = state.Slave;
    return base + TSNavigatorState::Size;
}

std::int32_t TSNavigator3DContainerObject::Link(TSObjectsStream* Stream)
{
    const std::int32_t base = TSCustomChangeObject::Link(Stream);
    if (Stream == nullptr)
        return base;
    auto* master = dynamic_cast<TSBasis3D*>(Stream->FindObject(std::exchange(m_savedMaster, 0), &TSBasis3D::ClassInfo));
    auto* slave = dynamic_cast<TSBasis3D*>(Stream->FindObject(std::exchange(m_savedSlave, 0), &TSBasis3D::ClassInfo));
    if (m_window != nullptr)
        plat::CallOnGuiThread([&] { m_window->LinkState(master, slave, Stream->GetProject()); });
    const std::int32_t sum = std::max(0, base) + 2;
    return sum == 0 ? -1 : sum;
}

std::int32_t TSNavigator3DContainerObject::Process(std::int32_t Code, TSParam Param)
{
    const std::int32_t result = TSCustomChangeObject::Process(Code, Param);
    if (result < 0 && Code == ocOpenEditor && Param == reinterpret_cast<TSParam>(this) && m_window != nullptr) {
        plat::CallOnGuiThread([this] {
            m_window->show();
            m_window->raise();
            m_window->activateWindow();
        });
        return 0;
    }
    return result;
}

// ---------------------------------------------------------------------------
// The unit

void SNavigator3DUnInitialization()
{
    TSClass cls = &TSNavigator3DContainerObject::ClassInfo;
    RegisterRTDClass(cls);
    SetInterfaceCaption(cls, kCaption);
    std::lock_guard guard(TreeLock());
    if (TSDataBranch* tree = GetInterfaceEntry(&TSCustomChangeObjectList::ClassInfo, ikCategories, true))
        tree->ForceChild("Standart Objects", true)->ForceChild(kCaption, true)->SetData(cls);
}

void SNavigator3DUnFinalization()
{
    UnregisterRTDClass(&TSNavigator3DContainerObject::ClassInfo);
}
