#include "viewer3d/forms/SViewer3DUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/forms/SCameraSelectUn.h"
#include "viewer3d/forms/SViewer3DSetupUn.h"

#include "engine3d/render/SMemBitmapView.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/threads/GuiThread.h"
#include "platform/dialogs/MessageBox.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <utility>

namespace {

constexpr char kDefaultCaption[] = "Viewer3D";
constexpr char kSetupSuffix[] = " : Setup";
constexpr char kSaveTitle[] = "Save As Bitmap";
constexpr char kSaveFilter[] = "Bitmap file (*.bmp)|*.bmp";
constexpr char kBusyText[] = "The picture is being updated. Save it again when the update has ended.";
constexpr char kErrorCaption[] = "Error";

enum TSViewerFlag : std::int32_t {
    vfVisible = 1,
    vfSetupVisible = 2,
    vfNormal = 4,
    vfMaximized = 8,
};

std::atomic<TInternal_SetupMenuClickObject*> gClickObject{nullptr};

// New drawing systems may come from a loading thread; their windows live on
// the GUI thread.
TSViewerLink* MakeViewer(TSDrawingSystem3D* DrawingSystem)
{
    TSViewer3D* viewer = nullptr;
    plat::CallOnGuiThread([&] {
        viewer = new TSViewer3D();
        viewer->SetDrawingSystem(DrawingSystem);
    });
    return viewer;
}

}  // namespace

TSViewer3D::TSViewer3D() : QWidget(nullptr, Qt::Tool)
{
    // Painted whole from the bitmap: no erasing, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    m_caption = new TSFlatCaption(this);
    m_caption->SetText(kDefaultCaption);
    m_caption->ShowButtons({fccClose, fccMaximize});
    m_saveAction = new QAction(QStringLiteral("Sa&ve as Bitmap..."), this);
    m_saveAction->setShortcut(Qt::Key_F2);
    m_setupAction = new QAction(QStringLiteral("&Setup..."), this);
    m_setupAction->setShortcut(Qt::Key_F3);
    for (QAction* action : {m_saveAction, m_setupAction}) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    connect(m_saveAction, &QAction::triggered, this, [this] { SaveBitmap(); });
    connect(m_setupAction, &QAction::triggered, this, [this] { ShowSetup(); });
    m_setupForm = new TSViewer3DSetup();
    resize(130, 149);
    CentreOnScreen(this);
    m_handle = plat::WindowHandle::Attach(this, [this](unsigned Msg, plat::WParam W, plat::LParam L) -> plat::LResult {
        if (Msg == plat::WM_USER)
            WMDrawingSystemEvent(static_cast<std::int32_t>(W), L);
        return 0;
    });
    UpdateCaption();
}

TSViewer3D::~TSViewer3D()
{
    m_destroying = true;
    m_handle.Close();
    delete std::exchange(m_setupForm, nullptr);
    if (TSDrawingSystem3D* old = std::exchange(m_drawingSystem, nullptr))
        old->SetViewerWindow({});
}

void TSViewer3D::SetDrawingSystem(TSDrawingSystem3D* DrawingSystem)
{
    if (m_destroying || DrawingSystem == m_drawingSystem)
        return;
    if (m_drawingSystem != nullptr)
        m_drawingSystem->SetViewerWindow({});
    m_drawingSystem = DrawingSystem;
    if (m_drawingSystem != nullptr)
        m_drawingSystem->SetViewerWindow(m_handle);
    m_setupForm->SetDrawingSystem(DrawingSystem);
    m_handle.PostMessage(plat::WM_USER, ecEndChange, 0);
    m_handle.PostMessage(plat::WM_USER, ecPresented, 0);
    UpdateCaption();
}

void TSViewer3D::WMDrawingSystemEvent(std::int32_t Code, TSParam)
{
    if (m_destroying)
        return;
    switch (Code) {
    case ecEndChange:
        FitToImage();
        break;
    case ecChanged:
        UpdateCaption();
        break;
    case ecPresented:
        if (isVisible())
            repaint();
        break;
    default:
        break;
    }
}

void TSViewer3D::FitToImage()
{
    if (m_fitting || m_drawingSystem == nullptr)
        return;
    const QSize want(m_drawingSystem->Width(), m_drawingSystem->Height() + kCaptionHeight);
    if (want == size())
        return;
    m_fitting = true;
    setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
    resize(want);
    m_fitting = false;
}

void TSViewer3D::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    // A hidden window's size is ours, not the user's (Qt delivers it on show).
    if (m_fitting || m_drawingSystem == nullptr || !isVisible())
        return;
    m_fitting = true;
    try {
        m_drawingSystem->SetSize(width(), std::max(0, height() - kCaptionHeight));
    } catch (const std::exception& e) {
        m_fitting = false;
        plat::MessageBox(m_handle, e.what(), kErrorCaption, plat::MB_OK | plat::MB_ICONERROR);
        return;
    }
    m_fitting = false;
}

void TSViewer3D::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QImage image;
    if (isVisible() && m_drawingSystem != nullptr)
        image = MemoryBitmapImage(*m_drawingSystem->Bitmap());
    const QRect client(0, kCaptionHeight, width(), std::max(0, height() - kCaptionHeight));
    if (!image.isNull())
        painter.drawImage(QPoint(0, kCaptionHeight), image);
    // What the image does not cover (no picture yet, or a resize under way).
    const QRegion rest = QRegion(client) - QRegion(QRect(QPoint(0, kCaptionHeight), image.size()));
    for (const QRect& r : rest)
        painter.fillRect(r, Qt::black);
}

void TSViewer3D::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    FitToImage();
    m_setupForm->setVisible(m_setupVisible);
}

void TSViewer3D::hideEvent(QHideEvent* Event)
{
    QWidget::hideEvent(Event);
    m_setupVisible = m_setupForm->isVisible();
    HideSetup();
}

void TSViewer3D::closeEvent(QCloseEvent* Event)
{
    // Closing only hides; the window goes with its drawing system.
    Event->ignore();
    hide();
}

void TSViewer3D::contextMenuEvent(QContextMenuEvent* Event)
{
    QMenu menu(this);
    menu.addAction(m_saveAction);
    menu.addAction(m_setupAction);
    menu.exec(Event->globalPos());
}

void TSViewer3D::ShowSetup()
{
    m_setupForm->show();
    m_setupForm->raise();
}

void TSViewer3D::HideSetup()
{
    m_setupForm->hide();
}

void TSViewer3D::ShowViewer()
{
    // The first opening widens a narrow picture until its title shows whole.
    if (!std::exchange(m_opened, true) && m_drawingSystem != nullptr) {
        const int want = m_caption->WidthShowingText();
        if (m_drawingSystem->Width() < want) {
            try {
                m_drawingSystem->SetSize(want, m_drawingSystem->Height());
            } catch (const std::exception& e) {
                plat::MessageBox(m_handle, e.what(), kErrorCaption, plat::MB_OK | plat::MB_ICONERROR);
            }
        }
    }
    show();
    raise();
    activateWindow();
}

std::string TSViewer3D::CaptionText() const
{
    return m_caption->Text();
}

void TSViewer3D::UpdateCaption()
{
    const std::string caption = m_drawingSystem != nullptr ? m_drawingSystem->Name() : kDefaultCaption;
    setWindowTitle(QString::fromStdString(caption));
    m_caption->SetText(caption);
    m_setupForm->SetCaptionText(caption + kSetupSuffix);
}

void TSViewer3D::SaveBitmap()
{
    if (m_drawingSystem == nullptr)
        return;
    plat::FileDialogRequest request;
    request.save = true;
    request.title = kSaveTitle;
    request.filter = kSaveFilter;
    request.flags = plat::OFN_HIDEREADONLY | plat::OFN_PATHMUSTEXIST;
    const plat::FileDialogResult answer = plat::FileDialog(m_handle, request);
    if (!answer.ok || answer.Path().empty() || m_drawingSystem == nullptr)
        return;
    const std::string name = plat::WithDefaultExtension(answer.Path(), "bmp");
    std::string error;
    bool busy = false;
    try {
        TSObjectLock guard(*m_drawingSystem);
        busy = m_drawingSystem->IsUpdating();
        TSMemoryBitmap* bitmap = m_drawingSystem->Bitmap();
        if (!busy && bitmap->Bits() != nullptr && bitmap->PixelFormat() >= 1) {
            bitmap->SaveToFile(name);
        } else if (!busy) {
            // Nothing drawn: the window shows black below the strip, and so does the file.
            std::unique_ptr<TSMemoryBitmap> black(TSObject::Create<TSMemoryBitmap>());
            black->SetPixelFormat(PixelFormatOfDepth(24));
            black->SetSize(std::max(1, width()), std::max(1, height() - kCaptionHeight));
            if (black->Bits() != nullptr)
                std::memset(black->Bits(), 0, std::size_t(black->GetImageSize()));
            black->SaveToFile(name);
        }
    } catch (const std::exception& e) {
        error = e.what();
    }
    // The boxes wait until the drawing system's lock is free again.
    if (busy)
        plat::MessageBox(m_handle, kBusyText, kSaveTitle, plat::MB_OK | plat::MB_ICONWARNING);
    else if (!error.empty())
        plat::MessageBox(m_handle, error, kErrorCaption, plat::MB_OK | plat::MB_ICONERROR);
}

std::int32_t TSViewer3D::SaveState(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return kViewerStateBytes;
    std::int32_t total = 0;
    plat::CallOnGuiThread([&] {
        // Placement moves the frame and sizes the client area.
        const QRect client =
            windowState() == Qt::WindowNoState || !normalGeometry().isValid() ? geometry() : normalGeometry();
        const QRect r(client.topLeft() - (geometry().topLeft() - pos()), client.size());
        std::int32_t flags = 0;
        if (isVisible())
            flags |= vfVisible;
        if (m_setupForm->isVisible() || (!isVisible() && m_setupVisible))
            flags |= vfSetupVisible;
        if (windowState() & Qt::WindowMinimized)
            ;
        else if (windowState() & Qt::WindowMaximized)
            flags |= vfMaximized;
        else
            flags |= vfNormal;
        const std::int32_t values[6] = {
            r.left(), r.top(), r.left() + r.width(), r.top() + r.height(), flags, WindowStackOrder(this)};
        Stream->Write(values, 24);
        total = 24 + m_setupForm->SaveState(Stream);
    });
    return total;
}

std::int32_t TSViewer3D::LoadState(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::int32_t total = 0;
    plat::CallOnGuiThread([&] {
        std::int32_t values[6] = {};
        Stream->Read(values, 24);
        total = 24 + m_setupForm->LoadState(Stream);
        const std::int32_t flags = values[4];
        PlaceWindow(this, values[0], values[1], values[2] - values[0], values[3] - values[1], false, false);
        m_setupVisible = (flags & vfSetupVisible) != 0;
        if ((flags & vfNormal) == 0)
            setWindowState((flags & vfMaximized) != 0 ? Qt::WindowMaximized : Qt::WindowMinimized);
        UpdateCaption();
        if ((flags & vfVisible) != 0)
            if (auto* project = dynamic_cast<THalcyte3DProject*>(Stream->GetProject()))
                project->RegisterWindow(this, values[5]);
    });
    return total;
}

// ---------------------------------------------------------------------------
// The popup entries

TInternal_SetupMenuClickObject* SetupMenuClickObject()
{
    return gClickObject.load();
}

void TInternal_SetupMenuClickObject::SetupClick()
{
    if (Viewer != nullptr)
        Viewer->ShowSetup();
}

void TInternal_SetupMenuClickObject::SelectCameraClick()
{
    auto* project = dynamic_cast<THalcyte3DProject*>(Project);
    if (Viewer == nullptr || project == nullptr || Viewer->DrawingSystem() == nullptr)
        return;
    TSDrawingSystem3D* drawingSystem = Viewer->DrawingSystem();
    TSCustomProjectionSystem3D* camera = project->GetCamera(drawingSystem);
    if (SelectCamera("Select Camera", project, camera))
        project->SetCamera(drawingSystem, camera);
}

std::int32_t DrawingSystemCommand(TSCommandRecord* Record)
{
    if (Record == nullptr || Record->Object == nullptr)
        return -1;
    auto* drawingSystem = dynamic_cast<TSDrawingSystem3D*>(Record->Object);
    auto* viewer = drawingSystem != nullptr ? dynamic_cast<TSViewer3D*>(drawingSystem->Viewer()) : nullptr;
    switch (Record->Command) {
    case icOpen:
        if (viewer != nullptr)
            viewer->ShowViewer();
        return 0;
    case icPopupMenu: {
        auto* menu = reinterpret_cast<QMenu*>(Record->Param);
        if (menu == nullptr)
            return -1;
        DefaultInterfaceHandler(Record);
        TInternal_SetupMenuClickObject* click = gClickObject.load();
        if (click != nullptr) {
            click->Viewer = viewer;
            click->Project = Record->Project;
        }
        auto* setup = new QAction(QStringLiteral("Setup..."), menu);
        auto* camera = new QAction(QStringLiteral("Select Camera..."), menu);
        QObject::connect(setup, &QAction::triggered, menu, [] {
            if (TInternal_SetupMenuClickObject* c = gClickObject.load())
                c->SetupClick();
        });
        QObject::connect(camera, &QAction::triggered, menu, [] {
            if (TInternal_SetupMenuClickObject* c = gClickObject.load())
                c->SelectCameraClick();
        });
        const QList<QAction*> actions = menu->actions();
        menu->insertAction(actions.size() > 1 ? actions[1] : nullptr, setup);
        menu->insertAction(actions.size() > 1 ? actions[1] : nullptr, camera);
        return 0;
    }
    default:
        return -1;
    }
}

// ---------------------------------------------------------------------------
// The unit

void SViewer3DUnInitialization()
{
    gClickObject = new TInternal_SetupMenuClickObject();
    RegisterInterfaceHandler(&TSDrawingSystem3D::ClassInfo, &DrawingSystemCommand);
    SetViewerFactory(&MakeViewer);
}

void SViewer3DUnFinalization()
{
    SetViewerFactory(nullptr);
    UnregisterInterfaceHandler(&TSDrawingSystem3D::ClassInfo, &DrawingSystemCommand);
    delete gClickObject.exchange(nullptr);
}
