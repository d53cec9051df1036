#pragma once
// The one place where the core's texts (UTF-8 bytes in std::string) become QStrings and back.
// Invalid UTF-8 shows as replacement characters; nothing throws.

#include <QString>
#include <string>
#include <string_view>

namespace pelmora {

inline QString ToQt(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string FromQt(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Texts of the table use "\r\n" for line breaks; Qt widgets want "\n".
inline QString ToQtLines(std::string_view bytes) {
    QString text = ToQt(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

// A caption as a window title: the accelerator marks of menu captions ("&Copy") go, a doubled
// "&&" stays as one "&".
inline QString WindowTitleOf(const QString& caption) {
    QString title;
    title.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&'))
                title += QLatin1Char('&');
            else if (i + 1 < caption.size())
                continue;
            else
                title += QLatin1Char('&');
            ++i;
            continue;
        }
        title += caption[i];
    }
    return title;
}

} // namespace pelmora
