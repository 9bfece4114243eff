#pragma once
// A top-level dialog built from a template table. Controls are found by id; clicks on
// push buttons go to the handler registered for the id. Enter goes to the OK handler,
// Escape and the caption's close box to the Cancel handler; without one, either hides
// the dialog. A close is refused unless the handler hid or destroyed the dialog. Private messages reach the message
// handler through Handle().

#include <QDialog>
#include <QPointer>
#include <functional>
#include <map>
#include <string>

#include "platform/paint/DeviceContext.h"
#include "platform/dialogs/DialogTemplate.h"
#include "platform/windows/WindowHandle.h"

class QIcon;

namespace plat {

// A top-level dialog window, or a pane: a child dialog inside another window, whose
// Enter and Escape go on to that window.
enum class DialogRole {
    Window,
    Pane
};

// A control of kind with its style flags and text, as a template row makes it; the
// caller places it. Used by controls that lay out their own parts.
QWidget* MakeControl(ControlKind kind, unsigned style, const char* text, QWidget* parent);

// Puts icon on an IconButton (or any push button).
void SetButtonIcon(QWidget* button, const QIcon& icon);

// No signals or slots of its own, so no meta-object: find it with dynamic_cast.
class Dialog final : public QDialog {
public:
    // Builds the dialog and its controls, hidden. Must run on the GUI thread.
    explicit Dialog(const DialogTemplate& tmpl, QWidget* parent = nullptr, DialogRole role = DialogRole::Window);
    ~Dialog() override;

    // A widget is neither copied nor moved.
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // The control with this id, or null.
    QWidget* Control(unsigned id) const;
    template <class T>
    T* ControlAs(unsigned id) const
    {
        return dynamic_cast<T*>(Control(id));
    }

    // Puts widget in the place of control id (a static placeholder, say), which goes; the
    // widget then answers to id.
    void ReplaceControl(unsigned id, QWidget* widget);

    // Grows control id to at least width x height pixels, as a common dialog grows the
    // placeholder of its own controls: the controls right of it and below it move by the
    // growth, and so does the dialog's size.
    void GrowControl(unsigned id, int width, int height);

    // Text of a button, static, edit, group box or custom control; "" for an unknown id.
    std::string ControlText(unsigned id) const;
    void SetControlText(unsigned id, const std::string& text);
    void ShowControl(unsigned id, int cmdShow);

    // A button or radio button clicked by the user.
    void OnClicked(unsigned id, std::function<void()> handler);
    // An edit's text changed (by the user or the program).
    void OnChanged(unsigned id, std::function<void()> handler);
    // A drop-down list's choice made by the user, or a tab control's page changed.
    void OnSelChange(unsigned id, std::function<void()> handler);
    // Paints the dialog's own background (a pane showing a picture); dc covers the client area.
    void SetPaintHandler(std::function<void(DeviceContext& dc)> handler) { m_paint = std::move(handler); }
    // The window was shown (true) or hidden (false).
    void SetShowHandler(std::function<void(bool shown)> handler) { m_show = std::move(handler); }
    // The client size after each change of size.
    void SetSizeHandler(std::function<void(int cx, int cy)> handler) { m_size = std::move(handler); }
    void SetOkHandler(std::function<void()> handler) { m_ok = std::move(handler); }
    void SetCancelHandler(std::function<void()> handler) { m_cancel = std::move(handler); }
    void SetMessageHandler(MessageHandler handler);

    WindowHandle Handle() const { return m_handle; }
    DialogBaseUnits BaseUnits() const { return m_units; }

    void SetTitle(const std::string& title);

    // Gives the window a sizing border and a maximize box; it never becomes smaller than
    // it is now. Before the window is first shown.
    void AllowGrowth();

    // Destroys the window: its handle dies and its handlers are dropped at once, so the
    // owner may go right after; the widget is hidden and deleted by the event loop.
    void DestroyWindow();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Ok();
    void Cancel();
    void RunOrHide(std::function<void()> handler);
    void Route(unsigned id, ControlKind kind, QWidget* control);
    static void Run(const std::map<unsigned, std::function<void()>>& handlers, unsigned id);

    std::map<unsigned, QPointer<QWidget>> m_controls;  // null once a control is gone
    std::map<unsigned, std::function<void()>> m_clicked;
    std::map<unsigned, std::function<void()>> m_changed;
    std::map<unsigned, std::function<void()>> m_selChange;
    std::function<void(DeviceContext&)> m_paint;
    std::function<void(int, int)> m_size;
    std::function<void(bool)> m_show;
    DialogRole m_role = DialogRole::Window;
    std::function<void()> m_ok;
    std::function<void()> m_cancel;
    std::shared_ptr<MessageHandler> m_message = std::make_shared<MessageHandler>();
    WindowHandle m_handle;
    DialogBaseUnits m_units;
};

}  // namespace plat
