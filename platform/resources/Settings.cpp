#include "platform/resources/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cstdlib>
#include <cstring>

namespace plat {
namespace {

// A key exists once it holds this entry (the registry's own default value has no
// name, which an INI file cannot hold). Value names may therefore not be "@".
const QString kKeyMark = QStringLiteral("@");

// In the file a value is its type's prefix and a text: "sz:" and the string,
// "dword:" and eight hex digits, "hex:" and two hex digits per byte. Text without a
// known prefix (edited by hand) reads as a string.
constexpr std::string_view kString = "sz:";
constexpr std::string_view kNumber = "dword:";
constexpr std::string_view kBinary = "hex:";

std::vector<std::string> SplitPath(std::string_view path, bool& ok)
{
    std::vector<std::string> parts;
    std::string part;
    ok = true;
    auto flush = [&] {
        if (part == "." || part == "..")
            ok = false;
        if (!part.empty())
            parts.push_back(part);
        part.clear();
    };
    for (char c : path) {
        if (c == '\\' || c == '/')
            flush();
        else if (c == '\0')
            ok = false;
        else
            part += c;
    }
    flush();
    return parts;
}

bool ValidName(std::string_view name)
{
    return !name.empty() && name != "@" && name.find_first_of("/\\") == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

QString ToQString(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool DecodeHex(std::string_view text, std::vector<unsigned char>& out)
{
    if (text.size() % 2 != 0)
        return false;
    out.clear();
    out.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<unsigned char>(hi * 16 + lo));
    }
    return true;
}

std::string EncodeHex(const unsigned char* data, std::size_t len)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(len * 2);
    for (std::size_t i = 0; i < len; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

std::optional<SettingsValue> Decode(const std::string& text)
{
    SettingsValue v;
    std::string_view t = text;
    if (t.starts_with(kNumber)) {
        std::vector<unsigned char> be;
        if (t.size() != kNumber.size() + 8 || !DecodeHex(t.substr(kNumber.size()), be))
            return std::nullopt;
        v.type = SettingsType::Number;
        v.bytes = {be[3], be[2], be[1], be[0]};
        return v;
    }
    if (t.starts_with(kBinary)) {
        v.type = SettingsType::Binary;
        if (!DecodeHex(t.substr(kBinary.size()), v.bytes))
            return std::nullopt;
        return v;
    }
    if (t.starts_with(kString))
        t.remove_prefix(kString.size());
    v.type = SettingsType::String;
    v.bytes.assign(t.begin(), t.end());
    v.bytes.push_back(0);
    return v;
}

// Whether the group exists in the file: it holds an entry or a sub-group.
bool GroupExists(const std::string& file, const std::string& group)
{
    const QString path = QString::fromStdString(file);
    if (!QFileInfo(path).isFile())
        return false;
    if (group.empty())
        return true;
    QSettings s(path, QSettings::IniFormat);
    s.beginGroup(QString::fromStdString(group));
    return !s.childKeys().isEmpty() || !s.childGroups().isEmpty();
}

}  // namespace

std::string SettingsKey::Folder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config";
}

bool SettingsKey::Locate(std::string_view path, std::string& file, std::string& group)
{
    bool ok = false;
    std::vector<std::string> parts = SplitPath(path, ok);
    if (!ok)
        return false;
    size_t first = 0;
    if (!parts.empty() && QString::fromStdString(parts[0]).compare(QLatin1String("SOFTWARE"), Qt::CaseInsensitive) == 0)
        first = 1;
    if (parts.size() < first + 2)
        return false;
    file = Folder() + "/" + parts[first] + "/" + parts[first + 1] + ".ini";
    group.clear();
    for (size_t i = first + 2; i < parts.size(); ++i) {
        if (!group.empty())
            group += '/';
        group += parts[i];
    }
    return true;
}

bool SettingsKey::Open(SettingsRoot, std::string_view path)
{
    Close();
    std::string file, group;
    if (!Locate(path, file, group) || !GroupExists(file, group))
        return false;
    m_file = std::move(file);
    m_group = std::move(group);
    m_open = true;
    m_writable = false;
    return true;
}

bool SettingsKey::Create(SettingsRoot, std::string_view path)
{
    Close();
    std::string file, group;
    if (!Locate(path, file, group))
        return false;
    if (!GroupExists(file, group)) {
        if (!QDir().mkpath(QFileInfo(QString::fromStdString(file)).absolutePath()))
            return false;
        QSettings s(QString::fromStdString(file), QSettings::IniFormat);
        if (!group.empty())
            s.beginGroup(QString::fromStdString(group));
        s.setValue(kKeyMark, QStringLiteral("key"));
        s.sync();
        if (s.status() != QSettings::NoError)
            return false;
    }
    m_file = std::move(file);
    m_group = std::move(group);
    m_open = true;
    m_writable = true;
    return true;
}

void SettingsKey::Close()
{
    m_open = false;
    m_writable = false;
    m_file.clear();
    m_group.clear();
}

std::optional<SettingsValue> SettingsKey::Value(std::string_view name) const
{
    if (!m_open || !ValidName(name))
        return std::nullopt;
    QSettings s(QString::fromStdString(m_file), QSettings::IniFormat);
    s.sync();  // pick up what other processes wrote since this file was cached
    if (!m_group.empty())
        s.beginGroup(QString::fromStdString(m_group));
    const QVariant v = s.value(ToQString(name));
    if (!v.isValid() || v.typeId() != QMetaType::QString)
        return std::nullopt;
    return Decode(v.toString().toStdString());
}

bool SettingsKey::Store(std::string_view name, const std::string& encoded)
{
    if (!m_open || !m_writable || !ValidName(name))
        return false;
    QSettings s(QString::fromStdString(m_file), QSettings::IniFormat);
    if (!m_group.empty())
        s.beginGroup(QString::fromStdString(m_group));
    s.setValue(ToQString(name), QString::fromStdString(encoded));
    s.sync();
    return s.status() == QSettings::NoError;
}

bool SettingsKey::SetString(std::string_view name, std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    return Store(name, std::string(kString) + std::string(text));
}

bool SettingsKey::SetNumber(std::string_view name, std::uint32_t number)
{
    const unsigned char be[4] = {static_cast<unsigned char>(number >> 24), static_cast<unsigned char>(number >> 16),
                                 static_cast<unsigned char>(number >> 8), static_cast<unsigned char>(number)};
    return Store(name, std::string(kNumber) + EncodeHex(be, 4));
}

bool SettingsKey::SetBinary(std::string_view name, const void* data, std::size_t len)
{
    if (data == nullptr && len != 0)
        return false;
    return Store(name, std::string(kBinary) + EncodeHex(static_cast<const unsigned char*>(data), len));
}

}  // namespace plat
