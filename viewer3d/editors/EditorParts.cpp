#include "viewer3d/editors/EditorParts.h"

#include <QKeyEvent>
#include <QLineEdit>

bool AcceptRealKey(const std::string& Text, char Key, std::size_t MaxLength)
{
    if (Key == kBackspace)
        return true;
    const bool digit = Key >= '0' && Key <= '9';
    if (!digit && Key != '-' && Key != '.')
        return false;
    if (Text.size() > MaxLength)
        return false;
    if ((Key == '-' || Key == '.') && Text.find(Key) != std::string::npos)
        return false;
    return true;
}

bool AcceptIntegerKey(const std::string& Text, char Key, std::size_t Limit)
{
    if (Key == kBackspace)
        return true;
    if (Key < '0' || Key > '9')
        return false;
    return Text.size() < Limit;
}

TSKeyFilter::TSKeyFilter(QLineEdit* Edit, Rule Accept) : QObject(Edit), m_edit(Edit), m_accept(std::move(Accept))
{
    Edit->installEventFilter(this);
}

bool TSKeyFilter::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched != m_edit || Event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(Event);
    char c = 0;
    if (key->key() == Qt::Key_Backspace)
        c = kBackspace;
    else {
        const QString text = key->text();
        if (text.isEmpty())
            return false;
        const char16_t u = text.at(0).unicode();
        if (u < 32 || u == 127)
            return false;  // Return, Tab, Escape, Delete: not typed characters
        c = u < 128 ? char(u) : '\x7f';
    }
    return !m_accept(m_edit->text().toStdString(), c);
}

void FilterRealKeys(QLineEdit* Edit)
{
    new TSKeyFilter(Edit, [](const std::string& Text, char Key) { return AcceptRealKey(Text, Key); });
}

void FilterIntegerKeys(QLineEdit* Edit, std::size_t Limit)
{
    new TSKeyFilter(Edit, [Limit](const std::string& Text, char Key) { return AcceptIntegerKey(Text, Key, Limit); });
}
