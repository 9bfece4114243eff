#pragma once
// An up-down control for a buddy edit: its arrows, and the Up and Down keys in the
// edit, step the number in the edit by one within the range and write it back as a
// plain decimal. The edit stays free text: the user may type any value, also one
// outside the range; a text that is no number steps from the last position.

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

class QToolButton;

namespace plat {

class SpinButton final : public QWidget {
public:
    // Made beside buddy, in the buddy's parent, aligned right: it takes the right end
    // of the edit's place, and the edit shrinks by its width.
    explicit SpinButton(QLineEdit* buddy);
    ~SpinButton() override;

    // A widget is neither copied nor moved.
    SpinButton(const SpinButton&) = delete;
    SpinButton& operator=(const SpinButton&) = delete;

    void SetRange(int lower, int upper);
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }
    // Sets the position (kept within the range) and writes it into the edit.
    void SetPos(int pos);
    // The edit's number when it holds one, else the last position.
    int Pos() const;
    // One step up (delta 1) or down (-1) from Pos, kept within the range.
    void Step(int delta);

    QToolButton* UpArrow() const { return m_up; }
    QToolButton* DownArrow() const { return m_down; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The edit while it lives (a pointer of its base, which stays valid to compare
    // while the edit is being destroyed).
    QLineEdit* Buddy() const;

    QPointer<QWidget> m_buddy;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    int m_lower = 0;
    int m_upper = 100;
    int m_pos = 0;
};

}  // namespace plat
