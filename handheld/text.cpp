// UTF-16 text of the handheld's interfaces to and from the UTF-8 of SDL and POSIX, and whole
// numbers read from text.
#include <algorithm>

#include "handheld/system.h"

namespace {

void AppendUtf8(char32_t code, std::string* out) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Smallest code each sequence length may carry; anything below is an overlong form.
constexpr char32_t SmallestCode[5] = {0, 0, 0x80, 0x800, 0x10000};

// Length of the UTF-8 sequence a lead byte starts, 0 for a byte that can't lead.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

}  // namespace

// Converts a zero-terminated UTF-16 string; unpaired surrogates are refused.
bool Utf16ToUtf8(const WCHAR* text, std::string* out) {
    if (!text) return false;
    out->clear();
    for (const WCHAR* p = text; *p; ++p) {
        char32_t unit = *p;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            char32_t low = p[1];
            if (low < 0xDC00 || low > 0xDFFF) return false;
            AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
            ++p;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        } else {
            AppendUtf8(unit, out);
        }
    }
    return true;
}

// Converts a zero-terminated UTF-8 string; overlong forms, surrogates and stray bytes are refused.
bool Utf8ToUtf16(const char* text, std::u16string* out) {
    if (!text) return false;
    out->clear();
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        int length = SequenceLength(*p);
        if (length == 0) return false;
        char32_t code = length == 1 ? *p : (*p & (0xFF >> (length + 1)));
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        if (code < SmallestCode[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        if (code >= 0x10000) {
            out->push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(code));
        }
        p += length;
    }
    return true;
}

// The handheld's conversion for the game's own narrow paths: the characters written with the
// terminator, or 0 when the text is broken or does not fit.
int MultiByteToWideChar(UINT codePage, DWORD, const char* text, int bytes, WCHAR* wide, int chars) {
    std::u16string converted;
    if (codePage != CP_UTF8 || bytes != -1 || !Utf8ToUtf16(text, &converted)) return 0;
    int needed = static_cast<int>(converted.size()) + 1;
    if (!wide || needed > chars) return 0;
    std::copy(converted.c_str(), converted.c_str() + needed, wide);
    return needed;
}

// Options and display layouts: digits only (no sign, no spaces), within [low, high]; a refused
// text leaves value alone.
bool ParseWholeNumber(const char* text, int low, int high, int* value) {
    if (!text || !*text) return false;
    long long number = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        number = number * 10 + (*p - '0');
        if (number > high) return false;
    }
    if (number < low) return false;
    *value = static_cast<int>(number);
    return true;
}
