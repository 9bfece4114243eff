#include "platform/dialogs/MessageBox.h"

#include <QMessageBox>
#include <QWidget>

#include "platform/threads/GuiThread.h"
#include "platform/resources/Hook.h"

namespace plat {

namespace {

Hook<MessageBoxAnswerer> g_answerer;

int ShowReal(QWidget* owner, const MessageBoxCall& call)
{
    QMessageBox box(owner);
    box.setWindowTitle(QString::fromStdString(call.caption));
    box.setText(QString::fromStdString(call.text));
    // clang-format off
    switch (call.type & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    // clang-format on
    if (call.type & MB_SYSTEMMODAL)
        box.setWindowModality(Qt::ApplicationModal);
    if (call.type & MB_TOPMOST)
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // clang-format off
    switch (call.type & 0xF) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNOCANCEL: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    // clang-format on
    // clang-format off
    switch (box.exec()) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return (call.type & 0xF) == MB_OK ? IDOK : IDCANCEL;
    }
    // clang-format on
}

}  // namespace

int MessageBox(const WindowHandle& owner, const std::string& text, const std::string& caption, unsigned type)
{
    int answer = IDCANCEL;
    CallOnGuiThread([&] {
        QWidget* window = owner.Widget();
        MessageBoxCall call{text, caption, type, window != nullptr};
        const MessageBoxAnswerer answerer = g_answerer.Get();
        answer = answerer ? answerer(call) : ShowReal(window, call);
    });
    return answer;
}

MessageBoxAnswerer SetMessageBoxAnswerer(MessageBoxAnswerer answerer)
{
    return g_answerer.Set(std::move(answerer));
}

ScopedMessageBoxAnswerer::ScopedMessageBoxAnswerer(int answer, MessageBoxAnswerer decide)
{
    m_previous = SetMessageBoxAnswerer([this, answer, decide](const MessageBoxCall& call) {
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(call);
        }
        return decide ? decide(call) : answer;
    });
}

ScopedMessageBoxAnswerer::~ScopedMessageBoxAnswerer()
{
    SetMessageBoxAnswerer(std::move(m_previous));
}

std::vector<MessageBoxCall> ScopedMessageBoxAnswerer::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

}  // namespace plat
