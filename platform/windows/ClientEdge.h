#pragma once
// A sunken border around a window, as a classic client edge: a frame that keeps one
// window filling its inside. The window's own rectangle stays its client area, so its
// mouse positions, drawing and children keep their coordinates; whoever places the
// window places the edge instead.

#include <QFrame>

namespace plat {

class ClientEdge final : public QFrame {
public:
    // Border width on each side, in pixels.
    static constexpr int kWidth = 2;

    // Puts window into a new edge in its place (the window's parent becomes the
    // edge's); the edge owns the window from then on. Answers the edge.
    static ClientEdge* Around(QWidget* window);

    QWidget* Client() const { return m_client; }

private:
    explicit ClientEdge(QWidget* parent);

    QWidget* m_client = nullptr;
};

}  // namespace plat
