#pragma once

#include <QValidator>

// Access-level passwords: 4 to 8 characters. Fewer are intermediate (kept
// while typing); a ninth character is refused. The password travels as a
// sentence field and a configuration file line, so a comma, control
// characters and anything outside Latin-1 are refused as well.
class PasswordValidator : public QValidator
{
    Q_OBJECT
public:
    explicit PasswordValidator(QObject* parent = nullptr);

    State validate(QString& input, int& pos) const override;
};
