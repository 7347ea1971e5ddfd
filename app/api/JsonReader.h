#pragma once

#include <QByteArrayView>
#include <QString>

#include <exception>
#include <optional>

namespace korvel::api {

// A strict single pass over a JSON text: the RFC 8259 grammar, well-formed UTF-8, no lone surrogates,
// integers exact. Each read consumes one value and throws JsonReader::Failure when the text is malformed
// or the value has another JSON type, so a decoder built from reads fails as a whole. Values that are
// skipped are checked but never stored, which keeps memory in line with what the caller keeps.
class JsonReader {
public:
    class Failure : public std::exception {
    public:
        const char* what() const noexcept override { return "not a decodable JSON value"; }
    };

    // Deeper nesting fails instead of exhausting the stack.
    static constexpr int kMaxDepth = 512;

    explicit JsonReader(QByteArrayView text);

    // True, with the null consumed, when the next value is null.
    bool skipNull();
    QString readString();
    // A number written without fraction or exponent that fits a signed 64-bit integer.
    qint64 readInteger();
    bool readBoolean();
    std::optional<QString> readOptionalString();
    std::optional<qint64> readOptionalInteger();
    std::optional<bool> readOptionalBoolean();
    void skipValue();

    // Calls onMember(key) for each member of an object; onMember must read or skip the member's value.
    template <class OnMember>
    void readObject(OnMember onMember) {
        enter('{');
        for (bool first = true; hasNext('}', first); first = false) {
            onMember(readKey());
        }
    }

    // Calls onElement() for each element of an array; onElement must read or skip the element.
    template <class OnElement>
    void readArray(OnElement onElement) {
        enter('[');
        for (bool first = true; hasNext(']', first); first = false) {
            onElement();
        }
    }

    // Fails unless only white space is left.
    void finish();

    template <class T>
    static T required(std::optional<T> value) {
        if (!value) {
            throw Failure();
        }
        return std::move(*value);
    }

private:
    [[noreturn]] static void fail();
    void skipWhitespace();
    char peek();
    void expect(char c);
    void expectWord(const char* word);
    void enter(char open);
    bool hasNext(char close, bool first);
    QString readKey();
    void scanString(QString* out);
    char32_t scanEscape();
    char32_t scanUtf8();
    unsigned scanHexQuad();
    // The integer's value, or none for a valid number that is not an exact 64-bit integer.
    std::optional<qint64> scanNumber();

    QByteArrayView text_;
    qsizetype position_ = 0;
    int depth_ = 0;
};

} // namespace korvel::api
