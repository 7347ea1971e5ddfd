#include "JsonReader.h"

#include <limits>

namespace korvel::api {
namespace {

constexpr unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

void appendCodePoint(QString* out, char32_t codePoint) {
    if (out == nullptr) {
        return;
    }
    if (codePoint > 0xFFFF) {
        *out += QChar(QChar::highSurrogate(codePoint));
        *out += QChar(QChar::lowSurrogate(codePoint));
    } else {
        *out += QChar(static_cast<char16_t>(codePoint));
    }
}

} // namespace

JsonReader::JsonReader(QByteArrayView text) : text_(text) {
    // RFC 8259 lets a parser ignore a leading byte order mark.
    if (text_.size() >= 3 && static_cast<unsigned char>(text_[0]) == kByteOrderMark[0] &&
        static_cast<unsigned char>(text_[1]) == kByteOrderMark[1] &&
        static_cast<unsigned char>(text_[2]) == kByteOrderMark[2]) {
        position_ = 3;
    }
}

void JsonReader::fail() { throw Failure(); }

void JsonReader::skipWhitespace() {
    while (position_ < text_.size()) {
        const char c = text_[position_];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            return;
        }
        ++position_;
    }
}

char JsonReader::peek() {
    skipWhitespace();
    if (position_ >= text_.size()) {
        fail();
    }
    return text_[position_];
}

void JsonReader::expect(char c) {
    if (peek() != c) {
        fail();
    }
    ++position_;
}

void JsonReader::expectWord(const char* word) {
    for (; *word != '\0'; ++word, ++position_) {
        if (position_ >= text_.size() || text_[position_] != *word) {
            fail();
        }
    }
}

void JsonReader::enter(char open) {
    expect(open);
    if (++depth_ > kMaxDepth) {
        fail();
    }
}

bool JsonReader::hasNext(char close, bool first) {
    const char c = peek();
    if (c == close) {
        ++position_;
        --depth_;
        return false;
    }
    if (!first) {
        if (c != ',') {
            fail();
        }
        ++position_;
    }
    return true;
}

QString JsonReader::readKey() {
    QString key;
    if (peek() != '"') {
        fail();
    }
    scanString(&key);
    expect(':');
    return key;
}

bool JsonReader::skipNull() {
    if (peek() != 'n') {
        return false;
    }
    expectWord("null");
    return true;
}

QString JsonReader::readString() {
    if (peek() != '"') {
        fail();
    }
    QString value;
    scanString(&value);
    return value;
}

qint64 JsonReader::readInteger() {
    const char c = peek();
    if (c != '-' && !isDigit(c)) {
        fail();
    }
    const std::optional<qint64> value = scanNumber();
    if (!value) {
        fail();
    }
    return *value;
}

bool JsonReader::readBoolean() {
    if (peek() == 't') {
        expectWord("true");
        return true;
    }
    expectWord("false");
    return false;
}

std::optional<QString> JsonReader::readOptionalString() {
    return skipNull() ? std::nullopt : std::optional(readString());
}

std::optional<qint64> JsonReader::readOptionalInteger() {
    return skipNull() ? std::nullopt : std::optional(readInteger());
}

std::optional<bool> JsonReader::readOptionalBoolean() {
    return skipNull() ? std::nullopt : std::optional(readBoolean());
}

void JsonReader::skipValue() {
    switch (peek()) {
    case '{':
        readObject([this](const QString&) { skipValue(); });
        return;
    case '[':
        readArray([this] { skipValue(); });
        return;
    case '"':
        scanString(nullptr);
        return;
    case 't':
    case 'f':
        readBoolean();
        return;
    case 'n':
        expectWord("null");
        return;
    default:
        scanNumber();
    }
}

void JsonReader::finish() {
    skipWhitespace();
    if (position_ != text_.size()) {
        fail();
    }
}

void JsonReader::scanString(QString* out) {
    ++position_; // the opening quote
    while (true) {
        if (position_ >= text_.size()) {
            fail();
        }
        const char c = text_[position_];
        if (c == '"') {
            ++position_;
            return;
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            fail();
        }
        if (c == '\\') {
            ++position_;
            appendCodePoint(out, scanEscape());
        } else if (static_cast<unsigned char>(c) < 0x80) {
            ++position_;
            appendCodePoint(out, static_cast<char32_t>(c));
        } else {
            appendCodePoint(out, scanUtf8());
        }
    }
}

char32_t JsonReader::scanEscape() {
    if (position_ >= text_.size()) {
        fail();
    }
    switch (text_[position_++]) {
    case '"':
        return U'"';
    case '\\':
        return U'\\';
    case '/':
        return U'/';
    case 'b':
        return U'\b';
    case 'f':
        return U'\f';
    case 'n':
        return U'\n';
    case 'r':
        return U'\r';
    case 't':
        return U'\t';
    case 'u':
        break;
    default:
        fail();
    }
    const unsigned unit = scanHexQuad();
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        fail(); // a low surrogate without its high half
    }
    if (unit < 0xD800 || unit > 0xDBFF) {
        return unit;
    }
    expectWord("\\u");
    const unsigned low = scanHexQuad();
    if (low < 0xDC00 || low > 0xDFFF) {
        fail();
    }
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

unsigned JsonReader::scanHexQuad() {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i, ++position_) {
        if (position_ >= text_.size()) {
            fail();
        }
        const char c = text_[position_];
        value <<= 4;
        if (isDigit(c)) {
            value |= static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value |= static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            value |= static_cast<unsigned>(c - 'A' + 10);
        } else {
            fail();
        }
    }
    return value;
}

char32_t JsonReader::scanUtf8() {
    // Well-formed sequences only (Unicode table 3-7): no overlong forms, no surrogates, nothing past
    // U+10FFFF.
    const auto byteAt = [this](qsizetype i) { return static_cast<unsigned char>(text_[i]); };
    const unsigned char lead = byteAt(position_);
    int length = 0;
    char32_t codePoint = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        fail();
    }
    if (text_.size() - position_ < length) {
        fail();
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byteAt(position_ + i);
        if (next < low || next > high) {
            fail();
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    position_ += length;
    return codePoint;
}

std::optional<qint64> JsonReader::scanNumber() {
    const bool negative = position_ < text_.size() && text_[position_] == '-';
    if (negative) {
        ++position_;
    }
    const qsizetype digitsStart = position_;
    while (position_ < text_.size() && isDigit(text_[position_])) {
        ++position_;
    }
    const qsizetype digitCount = position_ - digitsStart;
    if (digitCount == 0 || (digitCount > 1 && text_[digitsStart] == '0')) {
        fail();
    }
    bool integral = true;
    if (position_ < text_.size() && text_[position_] == '.') {
        integral = false;
        const qsizetype fractionStart = ++position_;
        while (position_ < text_.size() && isDigit(text_[position_])) {
            ++position_;
        }
        if (position_ == fractionStart) {
            fail();
        }
    }
    if (position_ < text_.size() && (text_[position_] == 'e' || text_[position_] == 'E')) {
        integral = false;
        ++position_;
        if (position_ < text_.size() && (text_[position_] == '+' || text_[position_] == '-')) {
            ++position_;
        }
        const qsizetype exponentStart = position_;
        while (position_ < text_.size() && isDigit(text_[position_])) {
            ++position_;
        }
        if (position_ == exponentStart) {
            fail();
        }
    }
    if (!integral) {
        return std::nullopt;
    }
    // Accumulating towards the sign's side reaches the lowest value without overflowing on the way.
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    constexpr qint64 highest = std::numeric_limits<qint64>::max();
    qint64 value = 0;
    for (qsizetype i = digitsStart; i < digitsStart + digitCount; ++i) {
        const int digit = text_[i] - '0';
        if (negative ? value < (lowest + digit) / 10 : value > (highest - digit) / 10) {
            return std::nullopt;
        }
        value = negative ? value * 10 - digit : value * 10 + digit;
    }
    return value;
}

} // namespace korvel::api
