#include "platform/dialogs/SpinButton.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace plat {

namespace {

// The edit's whole text as a number that fits an int.
bool ParseInt(const QString& text, int* value)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (ok)
        *value = v;
    return ok;
}

QToolButton* MakeArrow(Qt::ArrowType arrow, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

SpinButton::SpinButton(QLineEdit* buddy)
    : QWidget(buddy ? buddy->parentWidget() : nullptr), m_buddy(buddy)
{
    m_up = MakeArrow(Qt::UpArrow, this);
    m_down = MakeArrow(Qt::DownArrow, this);
    connect(m_up, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
    if (buddy) {
        const QRect place = buddy->geometry();
        const int width = std::max(12, place.height() * 3 / 4);
        buddy->setGeometry(place.adjusted(0, 0, -width, 0));
        setGeometry(place.right() + 1 - width, place.top(), width, place.height());
        buddy->installEventFilter(this);
        setVisible(buddy->isVisibleTo(parentWidget()));
    }
}

// The edit drops this filter by itself when the control goes first.
SpinButton::~SpinButton() = default;

QLineEdit* SpinButton::Buddy() const
{
    return qobject_cast<QLineEdit*>(m_buddy.data());
}

void SpinButton::resizeEvent(QResizeEvent*)
{
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}

void SpinButton::SetRange(int lower, int upper)
{
    m_lower = lower;
    m_upper = upper;
}

void SpinButton::SetPos(int pos)
{
    m_pos = std::clamp(pos, std::min(m_lower, m_upper), std::max(m_lower, m_upper));
    if (QLineEdit* buddy = Buddy())
        buddy->setText(QString::number(m_pos));
}

int SpinButton::Pos() const
{
    int value = m_pos;
    if (QLineEdit* buddy = Buddy())
        ParseInt(buddy->text(), &value);
    return value;
}

void SpinButton::Step(int delta)
{
    const long long next = static_cast<long long>(Pos()) + delta;
    SetPos(int(std::clamp<long long>(next, std::min(m_lower, m_upper), std::max(m_lower, m_upper))));
}

bool SpinButton::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched == m_buddy.data()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace plat
