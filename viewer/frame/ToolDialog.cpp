#include "frame/ToolDialog.h"

#include <QCloseEvent>
#include <QObject>
#include <functional>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/DialogTemplate.h"
#include "platform/dialogs/MessageBox.h"
#include "dialogs/FileMasks.h"
#include "dialogs/ToolDialogMath.h"
#include "window/ViewerMessages.h"

namespace {

// The caption's close box, told apart from Escape, which reaches the dialog's cancel.
class CloseBoxFilter final : public QObject {
public:
    CloseBoxFilter(QObject* parent, std::function<void()> closed) : QObject(parent), m_closed(std::move(closed)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close && watched == parent() && m_closed) {
            std::function<void()> closed = m_closed;
            closed();
        }
        return false;
    }

private:
    std::function<void()> m_closed;
};

}  // namespace

CToolDialog::~CToolDialog()
{
    if (m_wnd)
        m_wnd->DestroyWindow();
}

plat::Dialog* CToolDialog::MakeWindow(const plat::DialogTemplate& tmpl, QWidget* parent, plat::WindowHandle frame,
                                      int closeCode)
{
    m_hFrame = std::move(frame);
    m_wnd = new plat::Dialog(tmpl, parent);
    // A tool window: it floats over its frame without taking the task bar.
    m_wnd->setWindowFlag(Qt::Tool, true);
    m_wnd->SetOkHandler([] {});
    m_wnd->SetCancelHandler([] {});
    if (closeCode != 0) {
        // The dialog closes nothing itself: the frame hides it when it hears.
        auto* filter = new CloseBoxFilter(m_wnd, [this, closeCode] { SendToFrame(closeCode, 0); });
        m_wnd->installEventFilter(filter);
    }
    return m_wnd;
}

plat::LResult CToolDialog::SendToFrame(int code, plat::LParam value) const
{
    return m_hFrame.SendMessage(WM_VIEWER_DLGCMD, plat::WParam(code), value);
}

bool CToolDialog::ReadInt(unsigned id, int& value) const
{
    const std::optional<int> read = ParseDialogInt(Text(id));
    if (!read) {
        plat::MessageBox(m_wnd ? m_wnd->Handle() : plat::WindowHandle(), kEnterIntegerText, AppName,
                         plat::MB_OK | plat::MB_ICONWARNING);
        return false;
    }
    value = *read;
    return true;
}

void CToolDialog::Show(bool show)
{
    if (m_wnd)
        m_wnd->setVisible(show);
}

bool CToolDialog::IsShown() const
{
    return m_wnd && m_wnd->isVisible();
}

std::string CToolDialog::Text(unsigned id) const
{
    return m_wnd ? m_wnd->ControlText(id) : std::string();
}

void CToolDialog::SetText(unsigned id, const std::string& text)
{
    if (m_wnd)
        m_wnd->SetControlText(id, text);
}
