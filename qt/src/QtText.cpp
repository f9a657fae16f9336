#include "tavrel/qt/QtText.h"

#include "tavrel/storage/CodePage.h"

namespace tavrel {

QString ToQString(std::string_view cp1252) {
    QString text(static_cast<qsizetype>(cp1252.size()), Qt::Uninitialized);
    QChar* out = text.data();
    // Every code point of the code page lies in the Basic Multilingual Plane: one QChar each.
    for (char c : cp1252)
        *out++ = QChar(static_cast<char16_t>(CodePointFromCp1252(static_cast<unsigned char>(c))));
    return text;
}

std::string FromQString(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t cp = text[i].unicode();
        // Join a surrogate pair so that the message names the real character.
        if (QChar::isHighSurrogate(cp) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        const auto byte = Cp1252FromCodePoint(cp);
        if (!byte)
            throw CodePageError(UnmappableCharacterMessage(cp));
        out += static_cast<char>(*byte);
    }
    return out;
}

} // namespace tavrel
