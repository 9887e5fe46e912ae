#pragma once

#include <QValidator>

class QLineEdit;

// Limits what the user types into a text box to a number of characters, like a maximum length,
// but leaves a longer text that the program puts there (from a configuration file) whole:
// QLineEdit's own maximum length would silently cut a stored port "123456" to "12345".
class TypedLengthValidator final : public QValidator {
    Q_OBJECT

public:
    TypedLengthValidator(int maxLength, QLineEdit *box);

    State validate(QString &input, int &pos) const override;

private:
    int m_maxLength;
    QString m_current; // the box's text before the edit being validated
};
