#include "platform/dialogs/Dialog.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QSizeGrip>
#include <QStyle>
#include <QTabWidget>

#include "platform/dialogs/CustomControl.h"

namespace plat {

namespace {

// What a control tells its dialog.
enum class Notice {
    None,
    Clicked,
    Changed,
    ListChange,
    TabChange
};

struct ControlKindRow {
    ControlKind kind;
    QWidget* (*make)(const QString& label, unsigned style, QWidget* parent);
    bool framed;  // CS_SUNKEN and CS_BORDER give it a frame
    Notice notice;
};

QWidget* MakePushButton(const QString& label, unsigned, QWidget* parent)
{
    auto* button = new QPushButton(label, parent);
    // Enter belongs to the dialog, not to the focused button.
    button->setAutoDefault(false);
    return button;
}

QWidget* MakeIconButton(const QString&, unsigned style, QWidget* parent)
{
    return MakePushButton(QString(), style, parent);
}

QWidget* MakeStatic(const QString& label, unsigned, QWidget* parent)
{
    auto* line = new QLabel(label, parent);
    line->setTextFormat(Qt::PlainText);
    return line;
}

QWidget* MakeOwnerDrawn(const QString&, unsigned, QWidget* parent)
{
    return new CustomControl(parent);
}

QWidget* MakeEdit(const QString& label, unsigned style, QWidget* parent)
{
    auto* edit = new QLineEdit(label, parent);
    edit->setReadOnly(style & CS_READONLY);
    edit->setFrame(!(style & CS_NOBORDER));
    if ((style & CS_READONLY) && (style & CS_NOBORDER)) {
        // A read-only line without a frame reads as text on the dialog.
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
    }
    return edit;
}

QWidget* MakeRadioButton(const QString& label, unsigned, QWidget* parent)
{
    return new QRadioButton(label, parent);
}

QWidget* MakeGroupBox(const QString& label, unsigned, QWidget* parent)
{
    auto* box = new QGroupBox(label, parent);
    // A frame lies under the controls it groups and lets their clicks through.
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->lower();
    return box;
}

QWidget* MakeDropDownList(const QString& items, unsigned, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    list->setEditable(false);
    if (!items.isEmpty())
        list->addItems(items.split(u'\n'));
    return list;
}

QWidget* MakeTabControl(const QString&, unsigned, QWidget* parent)
{
    return new QTabWidget(parent);
}

QWidget* MakeCheckBox(const QString& label, unsigned, QWidget* parent)
{
    return new QCheckBox(label, parent);
}

QWidget* MakeSizeGrip(const QString&, unsigned, QWidget* parent)
{
    return new QSizeGrip(parent);
}

// One row per control kind, in the order of ControlKind.
constexpr ControlKindRow kControlKinds[] = {
    {ControlKind::PushButton, &MakePushButton, false, Notice::Clicked},
    {ControlKind::Static, &MakeStatic, true, Notice::None},
    {ControlKind::ProgressBar, &MakeOwnerDrawn, true, Notice::None},
    {ControlKind::Edit, &MakeEdit, false, Notice::Changed},
    {ControlKind::IconButton, &MakeIconButton, false, Notice::Clicked},
    {ControlKind::RadioButton, &MakeRadioButton, false, Notice::Clicked},
    {ControlKind::GroupBox, &MakeGroupBox, false, Notice::None},
    {ControlKind::DropDownList, &MakeDropDownList, false, Notice::ListChange},
    {ControlKind::TabControl, &MakeTabControl, false, Notice::TabChange},
    {ControlKind::CheckBox, &MakeCheckBox, false, Notice::Clicked},
    {ControlKind::SizeGrip, &MakeSizeGrip, false, Notice::None},
};

constexpr bool RowsInKindOrder()
{
    for (std::size_t i = 0; i < std::size(kControlKinds); ++i)
        if (static_cast<std::size_t>(kControlKinds[i].kind) != i)
            return false;
    return true;
}
static_assert(RowsInKindOrder(), "one row per control kind, in the enum's order");

const ControlKindRow& RowOf(ControlKind kind)
{
    return kControlKinds[static_cast<std::size_t>(kind)];
}

// What QLineEdit keeps free on either side of its text, inside its frame.
constexpr int kLineEditMargin = 2;

// Pixels across that control, made for its row, needs to show text whole; 0 for a kind
// whose text is not measured (lists, tabs, owner-drawn controls).
int WidthNeeded(ControlKind kind, QWidget* control, const QString& text)
{
    if (text.isEmpty())
        return 0;
    const QFontMetrics metrics(control->font());
    int widest = 0;
    for (const QString& line : text.split(u'\n'))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    QStyle* style = control->style();
    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, control);
    switch (kind) {
    case ControlKind::Static: {
        // The label's own measure: its frame and the indent a framed label keeps.
        auto* label = static_cast<QLabel*>(control);
        if (label->text() == text)
            return label->sizeHint().width();
        const QString kept = label->text();
        label->setText(text);
        const int need = label->sizeHint().width();
        label->setText(kept);
        return need;
    }
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
        // Indicator, spacing and text.
        return control->sizeHint().width();
    case ControlKind::GroupBox:
        return control->minimumSizeHint().width();
    case ControlKind::PushButton:
        return widest + 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control) + frame);
    case ControlKind::Edit:
        return widest + 2 * ((static_cast<QLineEdit*>(control)->hasFrame() ? frame : 0) + kLineEditMargin) + 1;
    default:
        return 0;
    }
}

}  // namespace

QWidget* MakeControl(ControlKind kind, unsigned style, const char* text, QWidget* parent)
{
    const ControlKindRow& row = RowOf(kind);
    QWidget* control = row.make(QString::fromUtf8(text ? text : ""), style, parent);
    if (auto* frame = qobject_cast<QFrame*>(control); frame && row.framed) {
        if (style & CS_SUNKEN)
            frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        else if (style & CS_BORDER)
            frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        frame->setLineWidth(1);
    }
    control->setEnabled(!(style & CS_DISABLED));
    control->setHidden(style & CS_HIDDEN);
    return control;
}

void SetButtonIcon(QWidget* button, const QIcon& icon)
{
    if (auto* push = qobject_cast<QAbstractButton*>(button)) {
        push->setIcon(icon);
        const int side = std::max(1, std::min(push->width(), push->height()) - 6);
        push->setIconSize(QSize(side, side));
    }
}

Dialog::Dialog(const DialogTemplate& tmpl, QWidget* parent, DialogRole role)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_role(role)
{
    // A dialog is always made a window; a pane is made a child again before it is shown.
    if (role == DialogRole::Pane)
        setWindowFlags(Qt::Widget);
    QFont font(QString::fromUtf8(tmpl.fontName ? tmpl.fontName : ""), tmpl.fontPoints > 0 ? tmpl.fontPoints : 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    m_units = DialogBaseUnits::ForFont(font);
    if (tmpl.caption)
        setWindowTitle(QString::fromUtf8(tmpl.caption));
    // Every text of the template, the caption's too, must show whole in the font at hand.
    if (role == DialogRole::Window)
        m_units.WidenFor(CaptionWidthNeeded(font, tmpl.caption), tmpl.cx);

    std::vector<QWidget*> made;
    made.reserve(tmpl.count);
    for (std::size_t i = 0; i < tmpl.count; ++i) {
        const ControlTemplate& row = tmpl.controls[i];
        QWidget* control = MakeControl(row.kind, row.style, row.text, this);
        made.push_back(control);
        m_units.WidenFor(WidthNeeded(row.kind, control, QString::fromUtf8(row.text ? row.text : "")), row.cx);
        for (std::size_t k = 0; k < tmpl.sampleCount; ++k)
            if (tmpl.samples[k].id == row.id)
                m_units.WidenFor(WidthNeeded(row.kind, control, QString::fromUtf8(tmpl.samples[k].text)), row.cx);
    }
    setFixedSize(m_units.ToPixelsX(tmpl.cx), m_units.ToPixelsY(tmpl.cy));

    QButtonGroup* radios = nullptr;
    for (std::size_t i = 0; i < tmpl.count; ++i) {
        const ControlTemplate& row = tmpl.controls[i];
        QWidget* control = made[i];
        int height = m_units.ToPixelsY(row.cy);
        // A drop-down list's row height is the dropped list's; the box itself is one line.
        if (row.kind == ControlKind::DropDownList)
            height = std::min(height, control->sizeHint().height());
        control->setGeometry(m_units.ToPixelsX(row.x), m_units.ToPixelsY(row.y), m_units.ToPixelsX(row.cx), height);
        if (row.kind == ControlKind::RadioButton) {
            // Radios of one group exclude each other; groups do not.
            if (!radios || (row.style & CS_GROUP)) {
                radios = new QButtonGroup(this);
                radios->setExclusive(true);
            }
            radios->addButton(static_cast<QRadioButton*>(control));
        } else {
            radios = nullptr;
        }
        m_controls[row.id] = control;
        Route(row.id, row.kind, control);
    }

    std::weak_ptr<MessageHandler> weak = m_message;
    m_handle = WindowHandle::Attach(this, [this, weak](unsigned msg, WParam wp, LParam lp) -> LResult {
        if (msg == WM_NEXTDLGCTL && lp == 0) {
            focusNextPrevChild(wp == 0);
            return 0;
        }
        auto handler = weak.lock();
        if (!handler || !*handler)
            return 0;
        // A copy runs, since the handler may destroy the window and its own entry.
        MessageHandler run = *handler;
        return run(msg, wp, lp);
    });
}

Dialog::~Dialog()
{
    m_handle.Close();
}

void Dialog::Route(unsigned id, ControlKind kind, QWidget* control)
{
    switch (RowOf(kind).notice) {
    case Notice::None:
        break;
    case Notice::Clicked:
        connect(static_cast<QAbstractButton*>(control), &QAbstractButton::clicked, this,
                [this, id] { Run(m_clicked, id); });
        break;
    case Notice::Changed:
        connect(static_cast<QLineEdit*>(control), &QLineEdit::textChanged, this, [this, id] { Run(m_changed, id); });
        break;
    case Notice::ListChange:
        connect(static_cast<QComboBox*>(control), &QComboBox::activated, this, [this, id] { Run(m_selChange, id); });
        break;
    case Notice::TabChange:
        connect(static_cast<QTabWidget*>(control), &QTabWidget::currentChanged, this,
                [this, id] { Run(m_selChange, id); });
        break;
    }
}

void Dialog::Run(const std::map<unsigned, std::function<void()>>& handlers, unsigned id)
{
    auto it = handlers.find(id);
    if (it != handlers.end() && it->second) {
        // A copy runs, since the handler may replace or destroy its own entry.
        std::function<void()> handler = it->second;
        handler();
    }
}

void Dialog::ReplaceControl(unsigned id, QWidget* widget)
{
    QWidget* old = Control(id);
    if (!widget || widget == old)
        return;
    widget->setParent(this);
    if (old) {
        widget->setGeometry(old->geometry());
        widget->setHidden(old->isHidden());
        widget->stackUnder(old);
        old->hide();
        old->deleteLater();
    }
    m_controls[id] = widget;
}

void Dialog::GrowControl(unsigned id, int width, int height)
{
    QWidget* grown = Control(id);
    if (!grown)
        return;
    const QRect place = grown->geometry();
    const int dx = std::max(0, width - place.width());
    const int dy = std::max(0, height - place.height());
    if (dx == 0 && dy == 0)
        return;
    for (QObject* child : children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (!control || control == grown || control->isWindow())
            continue;
        QRect r = control->geometry();
        r.translate(r.left() >= place.right() + 1 ? dx : 0, r.top() >= place.bottom() + 1 ? dy : 0);
        control->setGeometry(r);
    }
    grown->setGeometry(place.adjusted(0, 0, dx, dy));
    setFixedSize(this->width() + dx, this->height() + dy);
}

QWidget* Dialog::Control(unsigned id) const
{
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second.data();
}

std::string Dialog::ControlText(unsigned id) const
{
    QWidget* control = Control(id);
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return edit->text().toStdString();
    if (auto* box = qobject_cast<QGroupBox*>(control))
        return box->title().toStdString();
    if (auto* custom = dynamic_cast<CustomControl*>(control))
        return custom->Text();
    return {};
}

void Dialog::SetControlText(unsigned id, const std::string& text)
{
    QWidget* control = Control(id);
    const QString value = QString::fromStdString(text);
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(value);
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(value);
    else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(value);
        edit->setCursorPosition(0);
    } else if (auto* box = qobject_cast<QGroupBox*>(control))
        box->setTitle(value);
    else if (auto* custom = dynamic_cast<CustomControl*>(control))
        custom->SetText(text);
}

void Dialog::ShowControl(unsigned id, int cmdShow)
{
    if (QWidget* control = Control(id))
        control->setHidden(cmdShow == SW_HIDE);
}

void Dialog::OnClicked(unsigned id, std::function<void()> handler)
{
    m_clicked[id] = std::move(handler);
}

void Dialog::OnChanged(unsigned id, std::function<void()> handler)
{
    m_changed[id] = std::move(handler);
}

void Dialog::OnSelChange(unsigned id, std::function<void()> handler)
{
    m_selChange[id] = std::move(handler);
}

void Dialog::SetMessageHandler(MessageHandler handler)
{
    *m_message = std::move(handler);
}

void Dialog::SetTitle(const std::string& title)
{
    setWindowTitle(QString::fromStdString(title));
}

void Dialog::AllowGrowth()
{
    setMinimumSize(size());
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
}

void Dialog::DestroyWindow()
{
    m_handle.Close();
    // The window is gone for its owner: nothing more reaches the handlers.
    m_clicked.clear();
    m_changed.clear();
    m_selChange.clear();
    m_paint = nullptr;
    m_size = nullptr;
    m_show = nullptr;
    m_ok = nullptr;
    m_cancel = nullptr;
    *m_message = nullptr;
    hide();
    deleteLater();
}

void Dialog::Ok()
{
    RunOrHide(m_ok);
}

void Dialog::Cancel()
{
    RunOrHide(m_cancel);
}

void Dialog::RunOrHide(std::function<void()> handler)
{
    // Run from a copy: the handler may drop the dialog's handlers while it runs.
    if (handler)
        handler();
    else
        hide();
}

void Dialog::keyPressEvent(QKeyEvent* event)
{
    if (m_role == DialogRole::Pane) {
        // Enter and Escape belong to the window the pane lies in.
        const int key = event->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            event->ignore();
            return;
        }
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Ok();
            return;
        case Qt::Key_Escape:
            Cancel();
            return;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(event);
}

void Dialog::closeEvent(QCloseEvent* event)
{
    // The close box asks, as Escape does; the Cancel handler decides what happens. A
    // close it carried out is accepted, so that it does not hold up the application's
    // quit.
    event->ignore();
    Cancel();
    if (!m_handle.IsWindow() || isHidden())
        event->accept();
}

void Dialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (m_size) {
        // A copy runs, since the handler may replace its own entry.
        std::function<void(int, int)> handler = m_size;
        handler(event->size().width(), event->size().height());
    }
}

void Dialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_show) {
        std::function<void(bool)> handler = m_show;
        handler(true);
    }
}

void Dialog::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (m_show) {
        std::function<void(bool)> handler = m_show;
        handler(false);
    }
}

void Dialog::paintEvent(QPaintEvent* event)
{
    if (!m_paint) {
        QDialog::paintEvent(event);
        return;
    }
    DeviceContext dc(this, Rect{0, 0, width(), height()});
    std::function<void(DeviceContext&)> paint = m_paint;
    paint(dc);
}

}  // namespace plat
