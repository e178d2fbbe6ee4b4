#include "ui/EditLib.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include <charconv>
#include <string>

namespace quorvane {

namespace {
bool IsDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Keys the box always leaves to the line edit: clipboard, undo and selection shortcuts.
bool IsEditingShortcut(QKeyEvent* event) {
    return event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Copy) ||
           event->matches(QKeySequence::Cut) || event->matches(QKeySequence::SelectAll) ||
           event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo);
}
} // namespace

TNaturalEdit::TNaturalEdit(QWidget* parent) : QLineEdit(parent) {
    setText(QStringLiteral("0"));

    FUpButton = new QToolButton(this);
    FUpButton->setObjectName(QStringLiteral("btnStepUp"));
    FUpButton->setArrowType(Qt::UpArrow);
    FDownButton = new QToolButton(this);
    FDownButton->setObjectName(QStringLiteral("btnStepDown"));
    FDownButton->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {FUpButton, FDownButton}) {
        // The arrows never take the focus, so the caret stays in the text.
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
        button->setCursor(Qt::ArrowCursor);
        button->setAutoRaise(false);
    }
    connect(FUpButton, &QToolButton::clicked, this, &TNaturalEdit::StepUp);
    connect(FDownButton, &QToolButton::clicked, this, &TNaturalEdit::StepDown);
    // Pasted text is not filtered, but it is cut to the length limit as typing would be.
    connect(this, &QLineEdit::textEdited, this, &TNaturalEdit::LimitPastedText);

    setTextMargins(0, 0, ButtonWidth(), 0);
    LayoutButtons();
}

int32_t TNaturalEdit::Value() const {
    const std::string digits = text().trimmed().toStdString();
    int32_t number = 0;
    const char* first = digits.data();
    const char* last = digits.data() + digits.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (digits.empty() || error != std::errc() || end != last) number = 0;
    if (number < FMinValue) number = FMinValue;
    if (number > FMaxValue) number = FMaxValue;
    return number;
}

void TNaturalEdit::SetValue(int32_t v) {
    setText(QString::number(v));
}

void TNaturalEdit::SetMinValue(int32_t v) {
    FMinValue = v;
    if (Value() < v) SetValue(v);
}

void TNaturalEdit::SetMaxValue(int32_t v) {
    FMaxValue = v;
    if (Value() > v) SetValue(v);
}

void TNaturalEdit::SetMaxLength(int length) {
    FMaxLength = length < 0 ? 0 : length;
}

void TNaturalEdit::StepUp() {
    Step(+1);
}

void TNaturalEdit::StepDown() {
    Step(-1);
}

void TNaturalEdit::Step(int delta) {
    const int caret = hasSelectedText() ? selectionStart() : cursorPosition();
    const int32_t value = Value();
    if (delta > 0 && value < FMaxValue) SetValue(value + 1);
    if (delta < 0 && value > FMinValue) SetValue(value - 1);
    if (cursorPosition() != caret) setCursorPosition(caret);
}

void TNaturalEdit::keyPressEvent(QKeyEvent* event) {
    if (IsEditingShortcut(event)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const bool plain = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0;
    if (plain && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        // The arrow keys work the step arrows from the keyboard.
        Step(event->key() == Qt::Key_Up ? +1 : -1);
        event->accept();
        return;
    }
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint();
    if (!printable) {
        // Backspace, Delete, caret movement, Enter, Escape and Tab pass on unchanged.
        QLineEdit::keyPressEvent(event);
        return;
    }
    bool digits = true;
    for (QChar c : typed)
        digits = digits && IsDigit(c);
    if (digits && FMaxLength > 0 &&
        text().size() - selectedText().size() + typed.size() > FMaxLength)
        digits = false;
    if (digits)
        QLineEdit::keyPressEvent(event);
    else
        event->accept(); // the character is discarded
}

void TNaturalEdit::LimitPastedText() {
    if (FMaxLength > 0 && text().size() > FMaxLength) {
        const int caret = std::min(cursorPosition(), FMaxLength);
        setText(text().left(FMaxLength));
        setCursorPosition(caret);
    }
}

int TNaturalEdit::ButtonWidth() const {
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void TNaturalEdit::LayoutButtons() {
    const int width = ButtonWidth();
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    const int upper = inner.height() / 2;
    FUpButton->setGeometry(inner.right() - width + 1, inner.top(), width, upper);
    FDownButton->setGeometry(inner.right() - width + 1, inner.top() + upper, width,
                             inner.height() - upper);
}

void TNaturalEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    LayoutButtons();
}

void TNaturalEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::StyleChange) {
        setTextMargins(0, 0, ButtonWidth(), 0);
        LayoutButtons();
    }
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::ReadOnlyChange) {
        FUpButton->setEnabled(isEnabled() && !isReadOnly());
        FDownButton->setEnabled(isEnabled() && !isReadOnly());
    }
}

QSize TNaturalEdit::sizeHint() const {
    QSize size = QLineEdit::sizeHint();
    // Wide enough for the digits the box may hold, plus the arrows.
    const int chars = FMaxLength > 0 ? FMaxLength : 10;
    const int textWidth = fontMetrics().horizontalAdvance(QString(chars + 1, QLatin1Char('0')));
    size.setWidth(std::max(size.width() / 2, textWidth + 12) + ButtonWidth());
    return size;
}

QSize TNaturalEdit::minimumSizeHint() const {
    QSize size = QLineEdit::minimumSizeHint();
    size.setWidth(size.width() + ButtonWidth());
    return size;
}

QLabel* BuddyLabel(const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

void CreateOkCancel(QWidget* dialog, const QString& okText, const QString& cancelText,
                    QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton(okText, dialog);
    ok->setObjectName(QStringLiteral("btnOK"));
    cancel = new QPushButton(cancelText, dialog);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton* button : {ok, cancel}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
    }
}

} // namespace quorvane
