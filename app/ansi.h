#pragma once
#include <string>
#include <string_view>

#include <QString>

// Conversion between the GUI's text and the 8-bit text of the controllers, the model and the
// report, which is cp1250 (windows-1250). A character that cp1250 cannot hold becomes "?".
QString FromAnsi(std::string_view text);
std::string ToAnsi(const QString& text);
