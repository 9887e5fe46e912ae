#include "gui/session/TypedLengthValidator.h"

#include <QLineEdit>

TypedLengthValidator::TypedLengthValidator(int maxLength, QLineEdit *box)
    : QValidator(box), m_maxLength(maxLength), m_current(box->text())
{
    connect(box, &QLineEdit::textChanged, this, [this](const QString &text) { m_current = text; });
}

// An edit is accepted when the result fits, or when it does not make an over-long text longer.
QValidator::State TypedLengthValidator::validate(QString &input, int &) const
{
    const auto length = input.size();
    return length <= m_maxLength || length <= m_current.size() ? Acceptable : Invalid;
}
