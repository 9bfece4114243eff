#pragma once
// The look of a frame window's menus: the toolkit's menu bar and popups keep their
// mechanics (opening, keys, hover, enabling, tool tips) and this style measures and
// draws their items through the frame's CBitmapMenu. Items that are not owner-drawn
// keep the base style's look.

#include <QProxyStyle>

class CBitmapMenu;

class FlatBarStyle final : public QProxyStyle {
    Q_OBJECT
public:
    explicit FlatBarStyle(const CBitmapMenu& painter);

    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

    // Room the bar adds round a title's text.
    static constexpr int kTitlePadX = 12;
    static constexpr int kTitlePadY = 4;
    // The popup's raised border; items start inside it, at x 0 of their own.
    static constexpr int kPopupBorder = 3;

private:
    const CBitmapMenu& m_painter;
};
