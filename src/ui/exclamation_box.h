// The message box every dialog and list of the window shows when it refuses
// what the user did: an exclamation icon, the text and an OK button.
#pragma once

#include <QString>

class QWidget;

namespace dravik {

// Texts keep the "\r\n" line ends they are written with; the box shows them
// as plain line breaks.
void ShowExclamation(QWidget* parent, const QString& text);

}  // namespace dravik
