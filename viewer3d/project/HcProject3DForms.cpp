// Routines of the editor forms: placing a window, its place in the program's
// window stack, finding a form, and numbers with '.' as decimal separator.

#include "viewer3d/project/HcProject3D.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// The program's top-level windows, top of the stack first; stay-on-top ones
// above the others. GUI thread only.
class WindowStack final : public QObject {
public:
    std::vector<QPointer<QWidget>> Windows;

    static bool OnTop(const QWidget* Window) { return (Window->windowFlags() & Qt::WindowStaysOnTopHint) != 0; }

    void Raise(QWidget* Window)
    {
        std::erase_if(Windows, [Window](const QPointer<QWidget>& W) { return W.isNull() || W == Window; });
        auto at = Windows.begin();
        if (!OnTop(Window))
            while (at != Windows.end() && OnTop(*at))
                ++at;
        Windows.insert(at, QPointer<QWidget>(Window));
    }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        switch (Event->type()) {
        case QEvent::Show:
        case QEvent::ZOrderChange:
        case QEvent::WindowActivate:
            if (Watched->isWidgetType()) {
                auto* widget = static_cast<QWidget*>(Watched);
                if (widget->isWindow())
                    Raise(widget);
            }
            break;
        default:
            break;
        }
        return false;
    }
};

WindowStack* gStack = nullptr;

std::string_view Trimmed(std::string_view S)
{
    while (!S.empty() && (S.front() == ' ' || S.front() == '\t'))
        S.remove_prefix(1);
    while (!S.empty() && (S.back() == ' ' || S.back() == '\t'))
        S.remove_suffix(1);
    // A sign of its own is the number's; from_chars takes only '-'.
    if (S.size() > 1 && S.front() == '+' && S[1] != '-' && S[1] != '+')
        S.remove_prefix(1);
    return S;
}

}  // namespace

void StartWindowStackWatch()
{
    if (gStack != nullptr || QCoreApplication::instance() == nullptr)
        return;
    gStack = new WindowStack;
    QCoreApplication::instance()->installEventFilter(gStack);
}

void StopWindowStackWatch()
{
    delete gStack;
    gStack = nullptr;
}

std::int32_t WindowStackOrder(QWidget* Window)
{
    if (Window == nullptr || gStack == nullptr)
        return 0;
    std::erase_if(gStack->Windows, [](const QPointer<QWidget>& W) { return W.isNull(); });
    const auto at = std::find(gStack->Windows.begin(), gStack->Windows.end(), Window);
    if (at == gStack->Windows.end())
        return 0;
    const auto above = static_cast<std::int32_t>(at - gStack->Windows.begin());
    const auto below = static_cast<std::int32_t>(gStack->Windows.end() - at) - 1;
    return WindowStack::OnTop(Window) ? -(below + 1) : above + 1;
}

QWidget* FindFormByHandle(WId Window)
{
    if (Window == 0)
        return nullptr;
    for (QWidget* form : QApplication::topLevelWidgets())
        if (form->internalWinId() == Window)
            return form;
    return nullptr;
}

QRect WindowPlacement(int Left, int Top, int Width, int Height, QSize CurrentSize, QSize ScreenSize)
{
    const int width = Width > 0 ? Width : CurrentSize.width();
    const int height = Height > 0 ? Height : CurrentSize.height();
    auto place = [](int At, int Size, int Screen) {
        if (Size >= Screen)
            return 0;
        if (At < 0)
            return (Screen - Size) / 2;
        if (At + Size > Screen)
            return Screen - Size;
        return At;
    };
    return QRect(place(Left, width, ScreenSize.width()), place(Top, height, ScreenSize.height()), width, height);
}

void PlaceWindow(QWidget* Form, int Left, int Top, int Width, int Height, bool StayOnTop, bool Visible)
{
    if (Form == nullptr)
        return;
    QScreen* screen = Form->screen() ? Form->screen() : QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize(Left + Width, Top + Height);
    const QRect bounds = WindowPlacement(Left, Top, Width, Height, Form->size(), screenSize);
    // Changing the hint recreates the window: only when it changes.
    if (WindowStack::OnTop(Form) != StayOnTop)
        Form->setWindowFlag(Qt::WindowStaysOnTopHint, StayOnTop);
    Form->move(bounds.topLeft());
    Form->resize(bounds.size());
    Form->setVisible(Visible);
}

bool TryParseInteger(const std::string& S, std::int32_t& Value)
{
    const std::string_view text = Trimmed(S);
    if (text.empty())
        return false;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    Value = value;
    return true;
}

bool TryParseReal(const std::string& S, double& Value)
{
    const std::string_view text = Trimmed(S);
    if (text.empty())
        return false;
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    // Only numbers are typed: no infinities or NaNs, no overflow.
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return false;
    Value = value;
    return true;
}

std::string FormatReal(double Value, int Width, int Decimals)
{
    Decimals = std::clamp(Decimals, 0, 100);
    char buffer[512];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::fixed, Decimals);
    std::string text = error == std::errc() ? std::string(buffer, end) : std::string();
    // The width only pads with blanks, which go again.
    (void)Width;
    // Zeros are trimmed only behind a decimal point: 100 with no decimals stays 100.
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0')
            text.pop_back();
        if (!text.empty() && text.back() == '.')
            text.pop_back();
    }
    if (text.empty() || text == "-0")
        return "0";
    return text;
}
