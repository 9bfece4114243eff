#include "HyperLink.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <QUrl>
#include <mutex>

#include "platform/resources/DesktopOpen.h"
#include "LinkRules.h"
#include "platform/dialogs/MessageBox.h"

namespace {

bool HasScheme(const std::string& url)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    return scheme.match(QString::fromStdString(url)).hasMatch();
}

int DesktopOpen(const std::string& url)
{
    if (!HasScheme(url)) {
        if (!QFileInfo::exists(QString::fromStdString(url)))
            return LINK_FILE_NOT_FOUND;
        return plat::OpenWithDesktop(url) ? LINK_OK : LINK_NO_ASSOCIATION;
    }
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url))) ? LINK_OK : LINK_NO_ASSOCIATION;
}

// The Exec line of a desktop entry file, "" without one.
std::string ExecOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('['))
            inEntry = line == QStringLiteral("[Desktop Entry]");
        else if (inEntry && line.startsWith(QStringLiteral("Exec=")))
            return line.mid(5).toStdString();
    }
    return {};
}

std::string WebHandlerExec()
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!query.waitForFinished(5000) || query.exitCode() != 0)
        return {};
    const QString entry = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
    if (entry.isEmpty() || entry.contains('/'))
        return {};
    QStringList dirs;
    const QString home = qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"));
    dirs << home;
    const QString data = qEnvironmentVariable("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    dirs << data.split(':', Qt::SkipEmptyParts);
    for (const QString& dir : dirs) {
        const QString path = dir + QStringLiteral("/applications/") + entry;
        if (QFileInfo::exists(path))
            return ExecOf(path);
    }
    return {};
}

bool StartDetached(const std::vector<std::string>& words)
{
    if (words.empty())
        return false;
    QStringList args;
    for (std::size_t i = 1; i < words.size(); ++i)
        args << QString::fromStdString(words[i]);
    return QProcess::startDetached(QString::fromStdString(words[0]), args);
}

std::mutex g_servicesMutex;
LinkServices g_services;

LinkServices Services()
{
    std::lock_guard lock(g_servicesMutex);
    LinkServices s = g_services;
    if (!s.open)
        s.open = DesktopOpen;
    if (!s.webHandlerExec)
        s.webHandlerExec = WebHandlerExec;
    if (!s.start)
        s.start = StartDetached;
    return s;
}

QColor ToQt(plat::ColorRef c)
{
    return QColor(plat::GetRValue(c), plat::GetGValue(c), plat::GetBValue(c));
}

}  // namespace

LinkServices SetLinkServices(LinkServices services)
{
    std::lock_guard lock(g_servicesMutex);
    return std::exchange(g_services, std::move(services));
}

CHyperLink::CHyperLink(QWidget* parent) : QLabel(parent), m_hoverColor(plat::GetSysColor(plat::COLOR_HIGHLIGHT))
{
    setTextFormat(Qt::PlainText);
    setMouseTracking(true);
}

void CHyperLink::PreSubclassWindow(const std::string& text, unsigned style)
{
    if (m_url.empty())
        m_url = text;
    setText(QString::fromStdString(text.empty() ? m_url : text));
    QFont underlined = font();
    underlined.setUnderline(m_underline);
    setFont(underlined);
    if (m_adjust && parentWidget()) {
        const QFontMetrics metrics(underlined);
        const QRect g = geometry();
        const CRect fitted = FitLinkRect(CRect(g.left(), g.top(), g.left() + g.width(), g.top() + g.height()),
                                         metrics.horizontalAdvance(this->text()), metrics.height(), style);
        setGeometry(fitted.left, fitted.top, fitted.Width(), fitted.Height());
    }
    setCursor(Qt::PointingHandCursor);
    setToolTip(QString::fromStdString(m_url));
    Recolor();
}

void CHyperLink::SetVisited(bool visited)
{
    m_visited = visited;
    Recolor();
}

plat::ColorRef CHyperLink::TextColor() const
{
    return m_over ? m_hoverColor : m_visited ? kVisitedColor : kLinkColor;
}

void CHyperLink::Recolor()
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, ToQt(TextColor()));
    setPalette(p);
    repaint();
}

int CHyperLink::GotoURL(const std::string& url)
{
    const LinkServices services = Services();
    const int result = services.open(url);
    if (result > 32)
        return result;
    const std::string exec = services.webHandlerExec();
    if (exec.empty())
        return result;
    // The handler's command up to its placeholder, then the target as one word of its own.
    std::vector<std::string> words = SplitCommandLine(CutAtPlaceholder(ExecLineAsCommand(exec)));
    if (words.empty())
        return LINK_FILE_NOT_FOUND;
    words.push_back(url);
    return services.start(words) ? LINK_OK : LINK_FILE_NOT_FOUND;
}

void CHyperLink::ReportError(int result)
{
    plat::MessageBox(plat::WindowHandle(), LinkErrorMessage(result), "Quorvex", plat::MB_OK | plat::MB_ICONEXCLAMATION);
}

void CHyperLink::Follow()
{
    const int result = GotoURL(m_url);
    if (result > 32) {
        SetVisited(true);
        return;
    }
    QApplication::beep();
    ReportError(result);
}

void CHyperLink::mouseMoveEvent(QMouseEvent* event)
{
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != m_over) {
        m_over = inside;
        Recolor();
    }
    QLabel::mouseMoveEvent(event);
}

void CHyperLink::leaveEvent(QEvent* event)
{
    if (m_over) {
        m_over = false;
        Recolor();
    }
    QLabel::leaveEvent(event);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Follow();
    else
        QLabel::mouseReleaseEvent(event);
}
