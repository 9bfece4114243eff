#include "controls/DisEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPaintEvent>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/resources/StringTable.h"
#include "VarnokModule.h"
#include "platform/windows/VirtualKey.h"
#include "controls/ControlMessages.h"
#include "controls/DisEditFilter.h"

namespace {

constexpr const char* kPasswordShown = "*******";

bool IsEnter(const QKeyEvent* e)
{
    return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
}

}  // namespace

CDisEdit::CDisEdit(QWidget* parent) : QLineEdit(parent)
{
    m_hWnd = plat::WindowHandle::Attach(this, [](unsigned, plat::WParam, plat::LParam) { return plat::LResult(0); });
    connect(this, &QLineEdit::textChanged, this, [this] { OnTextChanged(); });
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        connect(app, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
            if (now == this)
                PostToParent(WM_DISEDIT_FOCUS, plat::WParam(old), plat::LParam(this));
        });
    EnableMode(disedit::MODE_TEXT, 0);
}

CDisEdit::~CDisEdit()
{
    m_hWnd.Close();
}

bool CDisEdit::Create(unsigned style, const plat::Rect& rect, QWidget* parent, unsigned id)
{
    m_bSelfFramed = true;
    m_nId = id;
    setParent(parent);
    setFrame(style != 0);
    setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
    return true;
}

CDisEdit* CDisEdit::SubclassDlgItem(unsigned id, plat::Dialog* dialog)
{
    auto* old = dialog ? dialog->ControlAs<QLineEdit>(id) : nullptr;
    if (!old)
        return nullptr;
    auto* edit = new CDisEdit(dialog);
    edit->m_nId = id;
    edit->setFrame(old->hasFrame());
    edit->setReadOnly(old->isReadOnly());
    edit->SetWindowText(old->text().toStdString());
    dialog->ReplaceControl(id, edit);
    return edit;
}

void CDisEdit::PostToParent(unsigned msg, plat::WParam wParam, plat::LParam lParam) const
{
    plat::WindowHandle::Of(parentWidget()).PostMessage(msg, wParam, lParam);
}

// ---- value --------------------------------------------------------------------------

void CDisEdit::SetWindowText(const std::string& text)
{
    m_value = QString::fromStdString(text).toStdU16String();
    if (m_nMode == disedit::MODE_DATE && m_value.empty())
        m_value = disedit::kEmptyDate;
    setText(QString::fromStdU16String(m_value));
    update();
}

void CDisEdit::SetInt(int n)
{
    SetWindowText(n == 0 ? std::string() : std::to_string(n));
}

void CDisEdit::SetDouble(double v)
{
    SetWindowText(v == 0.0 ? std::string() : disedit::FormatDouble(v));
}

std::string CDisEdit::GetValue() const
{
    return QString::fromStdU16String(m_value).toStdString();
}

int CDisEdit::GetInt() const
{
    return disedit::ReadInt(m_value);
}

double CDisEdit::GetDouble() const
{
    return disedit::ReadDouble(m_value);
}

void CDisEdit::SetFont(const QFont& f, bool redraw)
{
    setFont(f);
    if (redraw)
        update();
}

int CDisEdit::GetCurPos() const
{
    return hasSelectedText() ? selectionStart() : cursorPosition();
}

void CDisEdit::SetCurPos(int pos)
{
    if (m_nMode == disedit::MODE_DATE)
        pos = disedit::DateCaret(pos);
    deselect();
    setCursorPosition(std::clamp(pos, 0, int(text().size())));
}

// ---- modes ---------------------------------------------------------------------------

void CDisEdit::EnableMode(int mode, int limit)
{
    m_bDefaultPaint = mode == disedit::MODE_DISPLAY_DEFAULT;
    if (m_bDefaultPaint)
        mode = disedit::MODE_DISPLAY;
    m_value = text().toStdU16String();
    m_nMode = mode;
    TestData();
    m_bDisplay = mode == disedit::MODE_DISPLAY;
    setEnabled(!m_bDisplay);
    m_nLimit = limit;
    update();
}

int CDisEdit::EnableWindow(int enable)
{
    m_bDefaultPaint = enable == 5;
    if (m_bDefaultPaint)
        enable = 0;
    m_bDisplay = !enable;
    m_value = text().toStdU16String();
    const bool wasDisabled = !isEnabled();
    setEnabled(enable != 0);
    update();
    return wasDisabled ? 1 : 0;
}

int CDisEdit::TestData()
{
    if (m_nMode != disedit::MODE_DATE)
        return 1;
    const disedit::DateCheck check = disedit::CheckDate(text().toStdU16String());
    const bool wasBusy = std::exchange(m_bBusy, true);
    if (text().toStdU16String() != check.text)
        setText(QString::fromStdU16String(check.text));
    m_value = check.text;
    ShowBoxes(check.boxes);
    m_bBusy = wasBusy;
    return check.valid ? 1 : 0;
}

void CDisEdit::ShowBoxes(const std::vector<unsigned>& boxes)
{
    for (unsigned id : boxes)
        plat::MessageBox(m_hWnd, plat::LoadString(id, kVarnokModule), disedit::kDateCaption, plat::MB_OK);
}

// The change filter. Its own changes of the text come back here while it is busy and
// return at once.
void CDisEdit::OnTextChanged()
{
    if (m_bBusy)
        return;
    m_bBusy = true;
    disedit::FilterInput in;
    in.text = text().toStdU16String();
    in.caret = GetCurPos();
    in.mode = m_nMode;
    in.limit = m_nLimit;
    in.password = m_bPassword;
    in.dotRestore = m_nMode == disedit::MODE_DATE && m_bDotRestore;
    if (m_nMode == disedit::MODE_DATE)
        m_bDotRestore = false;
    const disedit::FilterResult r = disedit::FilterChange(in);
    if (r.text != in.text)
        setText(QString::fromStdU16String(r.text));
    m_value = r.value;
    if (r.text != in.text || r.caret != in.caret)
        setCursorPosition(r.caret);
    ShowBoxes(r.boxes);
    m_bBusy = false;
    if (m_change) {
        std::function<void()> change = m_change;
        change();
    }
}

// ---- keys and focus ------------------------------------------------------------------

bool CDisEdit::EnterOrTab(QKeyEvent* e)
{
    const bool tab = e->key() == Qt::Key_Tab && !(e->modifiers() & ~Qt::KeypadModifier);
    if (!IsEnter(e) && !tab)
        return false;
    if (m_pNextWnd) {
        m_pNextWnd->setFocus(Qt::TabFocusReason);
        e->accept();
        return true;
    }
    if (tab)
        return false;
    PostToParent(plat::WM_NEXTDLGCTL, 0, 0);
    PostToParent(WM_DISEDIT_KEY, plat::WParam(this), plat::VK_RETURN);
    // Enter goes on to the dialog (its OK), past any window between.
    QWidget* top = window();
    e->accept();
    if (top != this) {
        QKeyEvent copy(e->type(), e->key(), e->modifiers(), e->text());
        QCoreApplication::sendEvent(top, &copy);
    }
    return true;
}

bool CDisEdit::event(QEvent* e)
{
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Tab &&
        EnterOrTab(static_cast<QKeyEvent*>(e)))
        return true;
    return QLineEdit::event(e);
}

void CDisEdit::keyPressEvent(QKeyEvent* e)
{
    if (EnterOrTab(e))
        return;
    const int vk = plat::VirtualKeyOf(e);
    const int c0 = GetCurPos();
    const bool date = m_nMode == disedit::MODE_DATE;
    const bool typed = !e->text().isEmpty() && e->text().at(0).isPrint();
    bool edits = false;
    if (date) {
        m_bDotRestore = false;
        // The base class edits at once, so what the classic field decides after the
        // key went down is decided here before it: a dot about to go, a typed
        // character's jump over a dot.
        if (vk == plat::VK_DELETE) {
            m_bDotRestore = c0 == 2 || c0 == 5;
            edits = true;
        } else if (vk == plat::VK_BACK) {
            m_bDotRestore = c0 == 3 || c0 == 6;
            edits = true;
        } else if (typed) {
            const int jump = disedit::DateKeyCaret(c0, c0);
            if (jump != c0)
                SetCurPos(jump);
            edits = true;
        }
    }
    QLineEdit::keyPressEvent(e);
    if (date && !edits) {
        const int c1 = GetCurPos();
        const int jump = disedit::DateKeyCaret(c0, c1);
        if (jump != c1)
            SetCurPos(jump);
    }
    PostToParent(WM_DISEDIT_KEY, plat::WParam(this), vk);
}

void CDisEdit::focusInEvent(QFocusEvent* e)
{
    QLineEdit::focusInEvent(e);
    if (m_nMode == disedit::MODE_DATE)
        SetCurPos(disedit::DateFocusCaret(GetCurPos()));
}

void CDisEdit::mousePressEvent(QMouseEvent* e)
{
    QLineEdit::mousePressEvent(e);
    if (m_nMode == disedit::MODE_DATE)
        SetCurPos(disedit::DateFocusCaret(GetCurPos()));
}

// ---- painting ------------------------------------------------------------------------

void CDisEdit::paintEvent(QPaintEvent* e)
{
    if (!m_bDisplay || m_bDefaultPaint) {
        QLineEdit::paintEvent(e);
        return;
    }
    plat::DeviceContext dc(this, plat::Rect{0, 0, width(), height()});
    Paint(dc);
}

void CDisEdit::Paint(plat::DeviceContext& dc)
{
    const int l = 0, t = 0, r = width(), b = height();
    const std::string shown = m_bPassword ? kPasswordShown : GetValue();
    const QFont oldFont = dc.SelectFont(font());
    const plat::Pen oldPen = dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, 0xFFFFFF});
    plat::Rect inside{l, t, r, b};
    if (m_bSelfFramed) {
        dc.MoveTo(l, b - 1);
        dc.LineTo(r - 1, b - 1);
        dc.LineTo(r - 1, t);
        dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, m_crShadow});
        dc.LineTo(l, t);
        dc.LineTo(l, b);
        dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, m_crLight});
        dc.MoveTo(l + 1, b - 2);
        dc.LineTo(r - 2, b - 2);
        dc.LineTo(r - 2, t + 1);
        dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, 0});
        dc.LineTo(l + 1, t + 1);
        dc.LineTo(l + 1, b - 1);
        inside = plat::Rect{l + 2, t + 2, r - 2, b - 2};
    }
    dc.FillRect(inside, 0xFFFFFF);
    dc.SetBkColor(0xFFFFFF);
    dc.SetTextColor(0);
    dc.SelectClipRect(inside);
    dc.DrawText(shown, inside, plat::DT_VCENTER | plat::DT_SINGLELINE);
    dc.SelectClipNone();
    dc.SelectPen(oldPen);
    dc.SelectFont(oldFont);
}
