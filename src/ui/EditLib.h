#pragma once
// A single-line box for a whole number within bounds: digits only from the keyboard, a pair of
// step arrows, and a value that always reads back clamped to the bounds.

#include <QLineEdit>

#include <cstdint>

class QLabel;
class QPushButton;
class QToolButton;

namespace quorvane {

class TNaturalEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TNaturalEdit(QWidget* parent = nullptr);

    // The text as a signed 32-bit decimal number (anything else reads as 0), raised to
    // MinValue and then lowered to MaxValue, so MaxValue wins when the bounds cross.
    int32_t Value() const;
    // Shows v as it is, without clamping.
    void SetValue(int32_t v);

    int32_t MinValue() const { return FMinValue; }
    int32_t MaxValue() const { return FMaxValue; }
    // Setting a bound rewrites the text only when the value read after the store lies
    // beyond the new bound (which happens when the bounds cross).
    void SetMinValue(int32_t v);
    void SetMaxValue(int32_t v);

    // The most characters that can be entered (0: no limit). SetValue is not limited.
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int length);

    // The step arrows: one up or down within the bounds; the caret stays where it was.
    void StepUp();
    void StepDown();

    QToolButton* UpButton() const { return FUpButton; }
    QToolButton* DownButton() const { return FDownButton; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Step(int delta);
    void LayoutButtons();
    void LimitPastedText();
    int ButtonWidth() const;

    int32_t FMinValue = 0;
    int32_t FMaxValue = 2147483647;
    int FMaxLength = 0;
    QToolButton* FUpButton = nullptr;
    QToolButton* FDownButton = nullptr;
};

// The OK and Cancel buttons of a dialog, named "btnOK" and "btnCancel": never focused (the
// fields keep Enter and Escape), OK the default button. The caller lays them out and connects them.
// A label for `buddy`: its access key moves the focus there.
QLabel* BuddyLabel(const QString& caption, QWidget* buddy, QWidget* parent);

void CreateOkCancel(QWidget* dialog, const QString& okText, const QString& cancelText,
                    QPushButton*& ok, QPushButton*& cancel);

} // namespace quorvane
