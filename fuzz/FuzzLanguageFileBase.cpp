// Dictionary file names: LanguageFileBase agrees with a plain transcription of its rules
// for any name, and SafeFileBase makes of it one file-name component that the file system
// takes (created and removed again in a scratch folder).

#include "FuzzSupport.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/FileEncoding.h"
#include "tavrel/storage/Utf8.h"

#include <cstdint>
#include <fcntl.h>

namespace {

int Code(unsigned char c) {
    if (c >= 'a' && c <= 'z')
        c = static_cast<unsigned char>(c - 32);
    switch (c) {
    case 'B':
    case 'F':
    case 'P':
    case 'V':
        return 1;
    case 'C':
    case 'G':
    case 'J':
    case 'K':
    case 'Q':
    case 'S':
    case 'X':
    case 'Z':
        return 2;
    case 'D':
    case 'T':
        return 3;
    case 'L':
        return 4;
    case 'M':
    case 'N':
        return 5;
    case 'R':
        return 6;
    case 'H':
    case 'W':
        return -1;
    default:
        return 0;
    }
}

std::string ReferenceSoundex(std::string_view text) {
    if (text.empty())
        return {};
    auto first = static_cast<unsigned char>(text[0]);
    if (first >= 'a' && first <= 'z')
        first = static_cast<unsigned char>(first - 32);
    std::string result(1, static_cast<char>(first));
    int last = Code(first);
    for (std::size_t i = 1; i < text.size(); ++i) {
        const int code = Code(static_cast<unsigned char>(text[i]));
        if (code > 0 && code != last) {
            result += static_cast<char>('0' + code);
            if (result.size() == 5)
                break;
        }
        if (code != -1)
            last = code;
    }
    while (result.size() < 5)
        result += '0';
    return result;
}

std::string ReferenceBase(std::string_view name) {
    const std::string_view n = name.substr(0, 255);
    std::string t;
    for (char ch : n) {
        unsigned c = static_cast<unsigned char>(ch);
        if (c >= 'a' && c <= 'z')
            c -= 32;
        if (c < 'A')
            c += 32;
        else if (c > 'Z')
            c = (c + 256 - 160) % 256;
        t += static_cast<char>(c);
    }
    t += 'A';
    const std::string r = t.size() < 5 ? t : t.substr(t.size() - 5);
    return "Ovk" + ReferenceSoundex(n) + r;
}

bool ValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    const std::string base = tavrel::LanguageFileBase(name);
    // A name the code page holds is computed on its code-page bytes, any other on its
    // UTF-8 bytes (its first 255 characters, whatever their length in bytes).
    const std::string first(tavrel::Utf8Prefix(name, 255));
    const auto cp1252 = tavrel::Cp1252FromUtf8(first);
    if (cp1252 || first.size() <= 255) {
        FUZZ_CHECK(base == ReferenceBase(cp1252 ? *cp1252 : first));
    }
    FUZZ_CHECK(base.size() >= 4 && base.size() <= 13);

    const std::string safe = tavrel::SafeFileBase(base);
    FUZZ_CHECK(!safe.empty() && safe != "." && safe != "..");
    FUZZ_CHECK(safe.find_first_of(std::string_view("/\0", 2)) == std::string::npos);
    FUZZ_CHECK(ValidUtf8(safe));
    FUZZ_CHECK(safe.size() + 4 <= 255); // with ".Lng" it is still one name

    // The file system takes it as one name in the folder.
    const auto file = tavrel::fuzz::Scratch() / (safe + ".Lng");
    FUZZ_CHECK(file.parent_path() == tavrel::fuzz::Scratch());
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FUZZ_CHECK(fd >= 0);
    ::close(fd);
    FUZZ_CHECK(::unlink(file.c_str()) == 0);
    return 0;
}
