#include "pinyin/Cp936.h"

#include <array>
#include <cerrno>
#include <iconv.h>

namespace pinyin {
namespace {

constexpr int16_t kNoEncoding = 63;

class Iconv {
public:
    Iconv()
        : m_cd(iconv_open("CP936", "UTF-16LE")) {}
    ~Iconv() {
        if (valid())
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Strict conversion of one unit: no transliteration, an error or no output gives kNoEncoding.
    int16_t encode(char16_t unit) {
        char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        unsigned char out[8] = {};
        char* inPtr = in;
        char* outPtr = reinterpret_cast<char*>(out);
        size_t inLeft = sizeof in;
        size_t outLeft = sizeof out;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // reset the shift state
        const size_t rc = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (rc == static_cast<size_t>(-1) || inLeft != 0)
            return kNoEncoding;
        const size_t written = sizeof out - outLeft;
        if (written == 1)
            return static_cast<int16_t>(out[0]);
        if (written == 2)
            return static_cast<int16_t>(out[0] * 256 + out[1] - 65536);
        return kNoEncoding;
    }

private:
    iconv_t m_cd;
};

using CodeTable = std::array<int16_t, 65536>;

CodeTable buildTable() {
    CodeTable table;
    table.fill(kNoEncoding);
    Iconv converter;
    if (!converter.valid())
        return table;
    for (uint32_t unit = 0; unit < 65536; ++unit)
        table[unit] = converter.encode(static_cast<char16_t>(unit));
    return table;
}

} // namespace

bool cp936Available() {
    // One conversion, not the whole table: this runs at start-up. 啊 opens the first range of
    // initials, so without the converter it has no code.
    Iconv converter;
    return converter.valid() && converter.encode(u'啊') == -20319;
}

int16_t cp936Code(char16_t unit) {
    // A function-local static is initialised once and thread-safely.
    static const CodeTable table = buildTable();
    return table[unit];
}

} // namespace pinyin
