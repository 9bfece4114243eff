#include "platform/windows/ClientEdge.h"

#include <QVBoxLayout>

namespace plat {

ClientEdge::ClientEdge(QWidget* parent) : QFrame(parent)
{
    // The two-pixel sunken edge of the classic look: shadow and dark shadow above and
    // left, light and highlight below and right.
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setLineWidth(kWidth);
}

ClientEdge* ClientEdge::Around(QWidget* window)
{
    auto* edge = new ClientEdge(window->parentWidget());
    edge->setGeometry(window->geometry().adjusted(-kWidth, -kWidth, kWidth, kWidth));
    auto* layout = new QVBoxLayout(edge);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(window);
    edge->m_client = window;
    return edge;
}

}  // namespace plat
