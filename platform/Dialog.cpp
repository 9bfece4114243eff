#include "Dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "CustomControl.h"

namespace plat {

namespace {

QWidget* MakeControl(const ControlTemplate& row, QWidget* parent)
{
    QString text = QString::fromUtf8(row.text ? row.text : "");
    QFrame* frame = nullptr;
    QWidget* control = nullptr;
    switch (row.kind) {
    case ControlKind::PushButton: {
        auto* button = new QPushButton(text, parent);
        // Enter belongs to the dialog, not to the focused button.
        button->setAutoDefault(false);
        control = button;
        break;
    }
    case ControlKind::Static: {
        auto* label = new QLabel(text, parent);
        label->setTextFormat(Qt::PlainText);
        control = frame = label;
        break;
    }
    case ControlKind::ProgressBar:
        control = frame = new CustomControl(parent);
        break;
    }
    if (frame) {
        if (row.style & CS_SUNKEN)
            frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        else if (row.style & CS_BORDER)
            frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        frame->setLineWidth(1);
    }
    return control;
}

}  // namespace

Dialog::Dialog(const DialogTemplate& tmpl, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    QFont font(QString::fromUtf8(tmpl.fontName ? tmpl.fontName : ""), tmpl.fontPoints > 0 ? tmpl.fontPoints : 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    m_units = DialogBaseUnits::ForFont(font);
    if (tmpl.caption)
        setWindowTitle(QString::fromUtf8(tmpl.caption));
    setFixedSize(m_units.ToPixelsX(tmpl.cx), m_units.ToPixelsY(tmpl.cy));

    for (std::size_t i = 0; i < tmpl.count; ++i) {
        const ControlTemplate& row = tmpl.controls[i];
        QWidget* control = MakeControl(row, this);
        control->setGeometry(m_units.ToPixelsX(row.x), m_units.ToPixelsY(row.y), m_units.ToPixelsX(row.cx),
                             m_units.ToPixelsY(row.cy));
        control->setHidden(row.style & CS_HIDDEN);
        m_controls[row.id] = control;
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            unsigned id = row.id;
            connect(button, &QPushButton::clicked, this, [this, id] {
                auto it = m_clicked.find(id);
                if (it != m_clicked.end() && it->second) {
                    // A copy runs, since the handler may replace or destroy its own entry.
                    std::function<void()> handler = it->second;
                    handler();
                }
            });
        }
    }

    std::weak_ptr<MessageHandler> weak = m_message;
    m_handle = WindowHandle::Attach(this, [weak](unsigned msg, WParam wp, LParam lp) -> LResult {
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

QWidget* Dialog::Control(unsigned id) const
{
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

std::string Dialog::ControlText(unsigned id) const
{
    QWidget* control = Control(id);
    if (auto* button = qobject_cast<QPushButton*>(control))
        return button->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text().toStdString();
    if (auto* custom = dynamic_cast<CustomControl*>(control))
        return custom->Text();
    return {};
}

void Dialog::SetControlText(unsigned id, const std::string& text)
{
    QWidget* control = Control(id);
    if (auto* button = qobject_cast<QPushButton*>(control))
        button->setText(QString::fromStdString(text));
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(QString::fromStdString(text));
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

void Dialog::SetMessageHandler(MessageHandler handler)
{
    *m_message = std::move(handler);
}

void Dialog::SetTitle(const std::string& title)
{
    setWindowTitle(QString::fromStdString(title));
}

void Dialog::DestroyWindow()
{
    m_handle.Close();
    // The window is gone for its owner: nothing more reaches the handlers.
    m_clicked.clear();
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

}  // namespace plat
