// libFuzzer target for PinyinInitials. The input's bytes are read as UTF-16LE code units, so
// every unit, lone surrogates and whole supplementary characters included, reaches it.

#include "pinyin/PinyinInitials.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char* property, const QString& text, const QString& detail = QString()) {
    std::fprintf(stderr, "broken property: %s\ninput units:", property);
    for (const QChar c : text)
        std::fprintf(stderr, " %04X", c.unicode());
    std::fprintf(stderr, "\n%s\n", qPrintable(detail));
    std::abort();
}

bool isInitial(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'[') || (u >= u'a' && u <= u'{') || u == u'*';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QString text(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8));

    const QString initials = PinyinInitials(text);
    if (initials.size() > text.size())
        fail("the initials are no longer than the input", text, initials);
    for (const QChar c : initials) {
        if (!isInitial(c))
            fail("the initials hold only letters, '[', '{' and '*'", text, initials);
    }

    // Every cut, a cut between the two halves of a surrogate pair included: the initials are
    // taken one UTF-16 unit at a time, and a character outside the basic multilingual plane
    // gives nothing whether its halves are read together or apart, since neither half has a
    // GBK code. So no cut is an exception.
    for (qsizetype cut = 0; cut <= text.size(); ++cut) {
        const QString joined = PinyinInitials(text.first(cut)) + PinyinInitials(text.sliced(cut));
        if (joined != initials)
            fail("the initials of the parts, joined, are the initials of the whole", text,
                 QStringLiteral("cut at %1: %2, whole: %3").arg(cut).arg(joined, initials));
    }
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i].isHighSurrogate() && text[i + 1].isLowSurrogate() && !PinyinInitials(text.sliced(i, 2)).isEmpty())
            fail("a character outside the basic multilingual plane gives nothing", text.sliced(i, 2));
    }
    return 0;
}
