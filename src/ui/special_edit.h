// CSpecialEdit: a line edit that filters what is typed or pasted into it,
// character by character: digits only for counts, letters only (upper-cased
// as typed) for alphabetic increments. Text set by the program is taken as it
// is, so a stored value always shows.
#pragma once

#include <QLineEdit>
#include <optional>

namespace dravik {

class CSpecialEdit : public QLineEdit {
    Q_OBJECT
  public:
    struct Flags {
        bool upper_case = false;     // lower-case letters are entered in upper case
        bool letters_only = false;   // non-letters are dropped
        bool digits_only = false;    // letters are dropped
        bool signs_allowed = false;  // ".", "+" and "-" pass
    };

    explicit CSpecialEdit(QWidget* parent = nullptr);

    void SetFlags(const Flags& flags) noexcept { m_flags = flags; }
    const Flags& GetFlags() const noexcept { return m_flags; }

    // What a typed character becomes, or nothing when it is dropped. Only
    // letters and the digits 0-9 pass (and the signs when allowed).
    static std::optional<QChar> FilterChar(QChar c, const Flags& flags);

  private:
    Flags m_flags;
};

}  // namespace dravik
