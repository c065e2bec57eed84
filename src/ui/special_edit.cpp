#include "special_edit.h"

#include <QValidator>

namespace dravik {

namespace {

// Filters every edit of the text, typed or pasted, and keeps the cursor after
// what was entered.
class CSpecialValidator : public QValidator {
  public:
    explicit CSpecialValidator(CSpecialEdit* edit) : QValidator(edit), m_edit(edit) {}

    State validate(QString& input, int& pos) const override {
        const CSpecialEdit::Flags& flags = m_edit->GetFlags();
        QString kept;
        kept.reserve(input.size());
        int new_pos = 0;
        for (int i = 0; i < input.size(); ++i) {
            const std::optional<QChar> c = CSpecialEdit::FilterChar(input[i], flags);
            if (!c) continue;
            kept.append(*c);
            if (i < pos) ++new_pos;
        }
        input = kept;
        pos = new_pos;
        return Acceptable;
    }

  private:
    CSpecialEdit* m_edit;
};

bool IsDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

}  // namespace

CSpecialEdit::CSpecialEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new CSpecialValidator(this));
}

std::optional<QChar> CSpecialEdit::FilterChar(QChar c, const Flags& flags) {
    if (flags.signs_allowed &&
        (c == QLatin1Char('.') || c == QLatin1Char('+') || c == QLatin1Char('-'))) {
        return c;
    }
    const bool letter = c.isLetter();
    if (!letter && !IsDigit(c)) return std::nullopt;
    if (flags.letters_only && !letter) return std::nullopt;
    if (flags.digits_only && letter) return std::nullopt;
    if (flags.upper_case && c.isLower()) return c.toUpper();
    return c;
}

}  // namespace dravik
