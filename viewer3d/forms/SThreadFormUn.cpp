#include "viewer3d/forms/SThreadFormUn.h"

#include "engine3d/model/GeneralProc.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QToolButton>
#include <QWindow>

#include <algorithm>
#include <set>

namespace {

// The strip's components, in pixels of the client area.
enum class Kind {
    Bevel,
    SunkenBevel,
    SpeedButton,
    StaticText
};

struct Component {
    const char* Name;
    Kind Type;
    int X, Y, W, H;
    const char* Text;
    QRgb Color;  // text colour; 0 for the default
};

constexpr int kClientWidth = 480;
constexpr int kClientHeight = 75;

constexpr Component kComponents[] = {
    {"Bevel2", Kind::Bevel, 0, 0, 480, 75, nullptr, 0},
    {"Bevel3", Kind::Bevel, 1, 1, 478, 73, nullptr, 0},
    {"Bevel1", Kind::SunkenBevel, 5, 48, 469, 21, nullptr, 0},
    {"BreakBtn", Kind::SpeedButton, 432, 6, 41, 17, "Break", 0x800000},
    {"TaskText", Kind::StaticText, 8, 24, 465, 17, "", 0},
    {"NameText", Kind::StaticText, 48, 4, 381, 20, "", 0x0000FF},
};

constexpr plat::ColorRef kGrey = 0x808080;
constexpr plat::ColorRef kSilver = 0xC0C0C0;

// The live windows, so that the unit's end can free those still open. GUI thread only.
std::set<TSThreadForm*>* gForms = nullptr;

void SetTextColor(QWidget* W, QRgb Color)
{
    if (Color == 0)
        return;
    QPalette palette = W->palette();
    palette.setColor(QPalette::WindowText, QColor(Color));
    palette.setColor(QPalette::ButtonText, QColor(Color));
    W->setPalette(palette);
}

}  // namespace

TSThreadForm::TSThreadForm() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kClientWidth, kClientHeight);
    for (const Component& row : kComponents) {
        QWidget* made = nullptr;
        switch (row.Type) {
        case Kind::Bevel:
        case Kind::SunkenBevel: {
            auto* bevel = new QFrame(this);
            bevel->setFrameStyle(QFrame::Panel | (row.Type == Kind::Bevel ? QFrame::Raised : QFrame::Sunken));
            bevel->setLineWidth(1);
            made = bevel;
            if (std::string_view(row.Name) == "Bevel1")
                m_barRect = {row.X + 4, row.Y + 3, row.X + row.W - 4, row.Y + row.H - 3};
            break;
        }
        case Kind::SpeedButton:
            m_breakBtn = new QToolButton(this);
            m_breakBtn->setAutoRaise(true);
            m_breakBtn->setText(QString::fromUtf8(row.Text));
            m_breakBtn->setFocusPolicy(Qt::NoFocus);
            QObject::connect(m_breakBtn, &QToolButton::clicked, this, [this] { BreakBtnClick(); });
            made = m_breakBtn;
            break;
        case Kind::StaticText: {
            auto* label = new QLabel(this);
            label->setAlignment(Qt::AlignCenter);
            label->setTextFormat(Qt::PlainText);
            (std::string_view(row.Name) == "NameText" ? m_nameText : m_taskText) = label;
            made = label;
            break;
        }
        }
        made->setObjectName(QString::fromUtf8(row.Name));
        made->setGeometry(row.X, row.Y, row.W, row.H);
        SetTextColor(made, row.Color);
    }
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());

    m_handle = plat::WindowHandle::Attach(
        this, [this](unsigned Msg, plat::WParam W, plat::LParam L) { return WMThreadEvent(Msg, W, L); });
    m_thread = TSObject::Create<TSThread>();
    m_thread->Events.Add(TSEventHandler::Of<&TSThreadForm::RelayThreadEvent>(this));
    if (gForms)
        gForms->insert(this);
}

TSThreadForm::~TSThreadForm()
{
    if (gForms)
        gForms->erase(this);
    m_handle.Close();
    m_thread->Events.Remove(TSEventHandler::Of<&TSThreadForm::RelayThreadEvent>(this));
    delete m_thread;
}

void TSThreadForm::RelayThreadEvent(TObject*, std::int32_t Code, TSParam Param)
{
    if (m_thread->IsSynchronous())
        m_handle.SendMessage(WM_THREADEVENT, static_cast<plat::WParam>(Code), Param);
    else
        m_handle.PostMessage(WM_THREADEVENT, static_cast<plat::WParam>(Code), Param);
}

plat::LResult TSThreadForm::WMThreadEvent(unsigned Msg, plat::WParam Code, plat::LParam)
{
    if (Msg != WM_THREADEVENT)
        return 0;
    switch (Code) {
    case ecThreadProgress:
        // No event loop turns during a synchronous run: paint now.
        if (m_thread->IsSynchronous())
            repaint(QRect(m_barRect.left, m_barRect.top, m_barRect.Width(), m_barRect.Height()));
        else
            update(QRect(m_barRect.left, m_barRect.top, m_barRect.Width(), m_barRect.Height()));
        break;
    case ecThreadMessage:
        m_taskText->setText(QString::fromStdString(m_thread->Message()));
        break;
    case ecThreadState:
        if (m_thread->State() != tsRunning)
            close();
        break;
    default:
        break;
    }
    return 0;
}

void TSThreadForm::paintEvent(QPaintEvent*)
{
    const std::int32_t progress = std::clamp(m_thread->Progress(), 0, kProgressFull);
    const plat::Rect& bar = m_barRect;
    const std::int32_t x = bar.left + IntMulDiv(bar.right - bar.left, progress, kProgressFull);
    plat::DeviceContext dc(this, plat::Rect{0, 0, width(), height()});
    dc.FillRect({bar.left, bar.top, x, bar.bottom}, kGrey);
    dc.FillRect({x, bar.top, bar.right, bar.bottom}, kSilver);
    dc.SetBkMode(plat::TRANSPARENT);
    dc.SetTextColor(0);
    dc.DrawText(std::to_string(progress / 10000) + "%", bar, plat::DT_CENTER | plat::DT_VCENTER);
    m_paintedProgress = progress;
}

void TSThreadForm::mousePressEvent(QMouseEvent* Event)
{
    // Break takes its own presses; the strip moves from any other point.
    if (Event->button() != Qt::LeftButton)
        return;
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = Event->globalPosition().toPoint() - pos();
}

void TSThreadForm::mouseMoveEvent(QMouseEvent* Event)
{
    if (m_dragging)
        move(Event->globalPosition().toPoint() - m_dragOffset);
}

void TSThreadForm::mouseReleaseEvent(QMouseEvent*)
{
    m_dragging = false;
}

void TSThreadForm::closeEvent(QCloseEvent* Event)
{
    // The window goes: nothing more reaches it, and the event loop frees it.
    m_handle.Close();
    Event->accept();
}

void TSThreadForm::BreakBtnClick()
{
    m_thread->RequestTerminate();
}

namespace {

TSThreadForm* PrepareForm(const std::string& Caption, TSEventHandler Handler)
{
    auto* form = new TSThreadForm;
    if (Handler.Code != nullptr)
        form->Thread()->Events.Add(Handler);
    form->Thread()->SetMessage("");
    form->show();
    form->NameText()->setText(QString::fromStdString(Caption));
    return form;
}

}  // namespace

TSThreadForm* RunInThreadForm(const std::string& Caption, std::unique_ptr<TSThreadParams> Params, bool StartSuspended,
                              TSEventHandler Handler, TSThreadJob Job)
{
    TSThreadForm* form = PrepareForm(Caption, Handler);
    if (StartSuspended)
        form->Thread()->Suspend();
    // A refused job never ends, so its window would stay for good.
    if (!form->Thread()->QueueJob(false, std::move(Params), Job))
        form->close();
    return form;
}

TSThreadForm* RunSynchronouslyInForm(const std::string& Caption, std::unique_ptr<TSThreadParams> Params,
                                     TSEventHandler Handler, TSThreadJob Job)
{
    TSThreadForm* form = PrepareForm(Caption, Handler);
    // Drawn before the job takes the thread: the window system's pending
    // events (the new window's exposure) and its first paint, no input.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    form->repaint();
    if (!form->Thread()->RunSynchronously(std::move(Params), Job))
        form->close();
    return form;
}

void SThreadFormUnInitialization()
{
    if (gForms == nullptr)
        gForms = new std::set<TSThreadForm*>;
}

void SThreadFormUnFinalization()
{
    std::set<TSThreadForm*>* forms = gForms;
    if (forms == nullptr)
        return;
    while (!forms->empty())
        delete *forms->begin();
    gForms = nullptr;
    delete forms;
}
