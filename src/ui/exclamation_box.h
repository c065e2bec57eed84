// The message box every dialog and list of the window shows when it refuses
// what the user did: an exclamation icon, the text and an OK button.
#pragma once

#include <QString>
#include <string>

class QWidget;

namespace dravik {

// Texts keep the "\r\n" line ends they are written with; a label or a
// message box shows them as plain line breaks.
QString DisplayText(const std::string& text);

void ShowExclamation(QWidget* parent, const std::string& text);

}  // namespace dravik
