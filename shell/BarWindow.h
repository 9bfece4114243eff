#pragma once
// The base of the shell's bar controls: a back-buffered child window with a handle for
// its private messages, which reports to its parent's handle.

#include <QPointer>

#include "platform/paint/BufferedWindow.h"
#include "platform/windows/WindowHandle.h"

class CBarWindow : public plat::BufferedWindow {
public:
    explicit CBarWindow(QWidget* parent);
    ~CBarWindow() override;

    plat::WindowHandle Handle() const { return m_handle; }
    // Where this window's reports and commands go: the handle set here, else the parent's
    // when the parent is a bar window.
    void SetParentHandle(plat::WindowHandle handle) { m_parentHandle = handle; }
    plat::WindowHandle ParentHandle() const;

    // A control as a message parameter, and back.
    static plat::WParam AsParam(QWidget* control) { return reinterpret_cast<plat::WParam>(control); }
    // The handle of a bar window (the null handle for anything else).
    static plat::WindowHandle HandleOf(QWidget* window);

protected:
    virtual plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam);

private:
    plat::WindowHandle m_handle;
    plat::WindowHandle m_parentHandle;
};

// A window holding bar controls (a page or a frame): it passes their hover reports and
// commands up and tells a control when the mouse has left it.
class CBarHolder : public CBarWindow {
public:
    explicit CBarHolder(QWidget* parent) : CBarWindow(parent) {}
    QWidget* Hovered() const { return m_hovered; }

protected:
    plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPointer<QWidget> m_hovered;
    int m_left = 1;
};
