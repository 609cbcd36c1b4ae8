#include "app/ansi.h"

#include <algorithm>

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
constexpr const char* kCodePage = "windows-1250";
}

QString FromAnsi(std::string_view text)
{
    QStringDecoder decoder(kCodePage);
    return decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
}

std::string ToAnsi(const QString& text)
{
    QStringEncoder encoder(kCodePage);
    QByteArray bytes = encoder.encode(text);
    // The ICU converter writes its substitute character 0x1A for what cp1250 lacks; the program
    // shows such characters as "?". A 0x1A typed by the user is a control character and goes too.
    std::replace(bytes.begin(), bytes.end(), '\x1A', '?');
    return bytes.toStdString();
}
