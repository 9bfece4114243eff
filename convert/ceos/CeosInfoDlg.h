#pragma once
// The leader information dialog: the fields of the leader's data set summary
// record as plain text, one line a field, in a read-only edit. Owned by the CEOS
// import dialog as a member and shown modeless by its Information button.

#include <QPointer>
#include <string>
#include <string_view>

namespace plat {
class Dialog;
struct DialogTemplate;
}  // namespace plat

class CCeosInfoDlg final {
public:
    enum : unsigned {
        IDD = 368,
        IDC_TEXT = 3095,
        IDC_OK = 1,
    };

    CCeosInfoDlg();
    // Destroys its window, when shown.
    ~CCeosInfoDlg();
    CCeosInfoDlg(const CCeosInfoDlg&) = delete;
    CCeosInfoDlg& operator=(const CCeosInfoDlg&) = delete;

    void SetLeaderFile(std::string path) { m_leaderFile = std::move(path); }
    const std::string& LeaderFile() const { return m_leaderFile; }
    // Not shown: makes the window and fills its text from the leader file. Shown:
    // brings it to the front (the text is not read again).
    void Show();
    bool Shown() const { return m_shown != 0; }
    plat::Dialog* Window() const { return m_wnd; }
    // The text as FillText made it ("\r\n" between lines).
    const std::string& Text() const { return m_text; }
    static const plat::DialogTemplate& Template();

private:
    void Close();

    std::string_view m_table;
    int m_shown = 0;
    std::string m_leaderFile;
    std::string m_text;
    QPointer<plat::Dialog> m_wnd;
};
