#pragma once
// Pieces shared by the property editors: the key filters of their number
// edits and a Qt event filter that applies one to an edit.

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class QLineEdit;
class QWidget;

// Key as the edits see it: the typed character, 8 for backspace.
inline constexpr char kBackspace = 8;

// Real numbers: digits, backspace, '-' and '.'; every key but backspace is
// refused once Text holds more than MaxLength characters; '-' and '.' only
// once each.
bool AcceptRealKey(const std::string& Text, char Key, std::size_t MaxLength = 12);
// Whole numbers: digits and backspace; every key but backspace is refused once
// Text holds Limit characters or more.
bool AcceptIntegerKey(const std::string& Text, char Key, std::size_t Limit);

// Drops the key presses of an edit that Accept refuses (Accept gets the
// edit's text and the key). Keys without a character pass, except backspace,
// which is offered as 8.
class TSKeyFilter final : public QObject {
public:
    using Rule = std::function<bool(const std::string& Text, char Key)>;
    TSKeyFilter(QLineEdit* Edit, Rule Accept);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QLineEdit* m_edit;
    Rule m_accept;
};

// Installs the real-number filter (AcceptRealKey) on Edit.
void FilterRealKeys(QLineEdit* Edit);
// Installs the whole-number filter (AcceptIntegerKey with Limit) on Edit.
void FilterIntegerKeys(QLineEdit* Edit, std::size_t Limit);

// Sets a byte flag for a scope, restoring the previous value at its end.
struct TSFlagScope {
    std::uint8_t& Flag;
    std::uint8_t Was;
    explicit TSFlagScope(std::uint8_t& F) : Flag(F), Was(F) { Flag = 1; }
    ~TSFlagScope() { Flag = Was; }
    TSFlagScope(const TSFlagScope&) = delete;
    TSFlagScope& operator=(const TSFlagScope&) = delete;
};
