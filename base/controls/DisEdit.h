#pragma once
// A one-line edit field that holds one kind of value: text, a non-negative integer or
// real, or a date day.month.year. After every change it filters its text by its mode
// (DisEditFilter.h). In its display state it is disabled but paints its value black on
// white. It posts WM_DISEDIT_FOCUS when it gets the focus and WM_DISEDIT_KEY for every
// key to the window it lies in, and hands the focus to a next window on Enter or Tab.

#include <QLineEdit>
#include <QPointer>
#include <functional>
#include <string>

#include "platform/paint/DeviceContext.h"
#include "platform/windows/WindowHandle.h"

namespace plat {
class Dialog;
}

class CDisEdit : public QLineEdit {
public:
    explicit CDisEdit(QWidget* parent = nullptr);
    ~CDisEdit() override;
    // A widget is neither copied nor moved.
    CDisEdit(const CDisEdit&) = delete;
    CDisEdit& operator=(const CDisEdit&) = delete;

    // Makes the field a child of parent at rect that draws its own sunken frame in the
    // display state; style 0 has no frame of the system's. Always succeeds.
    bool Create(unsigned style, const plat::Rect& rect, QWidget* parent, unsigned id);
    // A new field in the place of edit id of dialog, with its text; null when the
    // dialog has no such control.
    static CDisEdit* SubclassDlgItem(unsigned id, plat::Dialog* dialog);

    void EnableMode(int mode, int limit);
    // 5 is the display state with the system's greyed look; answers whether the field was disabled.
    int EnableWindow(int enable);
    void SetPasswordMode(int on) { m_bPassword = on != 0; }
    void SetWindowText(const std::string& text);
    void SetValue(const std::string& text) { SetWindowText(text); }
    void SetInt(int n);
    void SetDouble(double v);
    void GetWindowText(std::string& out) const { out = GetValue(); }
    std::string GetValue() const;
    int GetInt() const;
    double GetDouble() const;
    void SetFont(const QFont& font, bool redraw);
    QFont GetFont() const { return font(); }
    int GetCurPos() const;
    void SetCurPos(int pos);
    // The date check: 1 when the text was a valid date or the mode is no date, else 0.
    int TestData();
    void SetNextWnd(QWidget* next) { m_pNextWnd = next; }
    void SetPrevWnd(QWidget* prev) { m_pPrevWnd = prev; }
    // The display state's painting.
    void Paint(plat::DeviceContext& dc);

    // Runs after each change of the text, once the filter is done (the classic change notice).
    void SetChangeHandler(std::function<void()> handler) { m_change = std::move(handler); }

    unsigned Id() const { return m_nId; }
    int Mode() const { return m_nMode; }
    int Limit() const { return m_nLimit; }
    bool IsDisplay() const { return m_bDisplay; }
    bool IsSelfFramed() const { return m_bSelfFramed; }
    bool DotRestore() const { return m_bDotRestore; }
    const plat::WindowHandle& Handle() const { return m_hWnd; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void OnTextChanged();
    void ShowBoxes(const std::vector<unsigned>& boxes);
    void PostToParent(unsigned msg, plat::WParam wParam, plat::LParam lParam) const;
    // Enter or Tab: true when the key was handled here.
    bool EnterOrTab(QKeyEvent* event);

    plat::ColorRef m_crLight = 0xC0C0C0;
    plat::ColorRef m_crShadow = 0x606060;
    bool m_bSelfFramed = false;
    bool m_bDotRestore = false;
    bool m_bDisplay = false;
    bool m_bDefaultPaint = false;
    int m_nMode = 1;
    bool m_bBusy = false;
    int m_nLimit = 0;
    std::u16string m_value;
    bool m_bPassword = false;
    QPointer<QWidget> m_pNextWnd;
    QPointer<QWidget> m_pPrevWnd;
    unsigned m_nId = 0;
    plat::WindowHandle m_hWnd;
    std::function<void()> m_change;
};
