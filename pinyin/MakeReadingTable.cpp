// Build-time tool: turns Unihan_Readings.txt into the reading table of the find window.
//
//     xiyao_make_reading_table Unihan_Readings.txt OUTPUT.cpp
//
// Each ideograph gets every reading of kTGHZ2013 and kXHC1983 (the modern dictionaries); one
// that neither reads gets those of kMandarin. Readings lose their tones and are written in
// letters a to z, ü as v. Characters sharing the same readings share one set, so the table is
// a set number per character plus a short list of sets.

#include <QFile>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

// A reading without its tone, in a to z; empty when it holds anything else.
QString toneless(const QString& reading) {
    const QString decomposed = reading.normalized(QString::NormalizationForm_D);
    QString letters;
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        const QChar c = decomposed[i];
        if (c.category() == QChar::Mark_NonSpacing) {
            if (c == QChar(0x0308) && letters.endsWith(u'u')) // ü
                letters.back() = u'v';
            continue;
        }
        const QChar lower = c.toLower();
        if (lower < u'a' || lower > u'z')
            return {};
        letters.append(lower);
    }
    return letters;
}

// The readings of one field's value: "zhòng chóng", or "047.150:chóng 481.090:zhòng".
QStringList readingsOf(const QString& value) {
    QStringList readings;
    for (const QString& item : value.split(u' ', Qt::SkipEmptyParts)) {
        const QString letters = toneless(item.mid(item.lastIndexOf(u':') + 1));
        if (!letters.isEmpty() && !readings.contains(letters))
            readings.append(letters);
    }
    return readings;
}

struct Fields {
    QStringList modern;
    QStringList mandarin;
};

int fail(const QString& message) {
    std::fprintf(stderr, "xiyao_make_reading_table: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return fail(QStringLiteral("usage: xiyao_make_reading_table Unihan_Readings.txt OUTPUT.cpp"));
    QFile input(QString::fromLocal8Bit(argv[1]));
    if (!input.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(input.fileName() + QStringLiteral(": ") + input.errorString());

    QMap<char32_t, Fields> characters;
    while (!input.atEnd()) {
        const QString line = QString::fromUtf8(input.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList parts = line.split(u'\t');
        if (parts.size() != 3 || !parts[0].startsWith(QStringLiteral("U+")))
            continue;
        const QString& field = parts[1];
        const bool modern = field == QStringLiteral("kTGHZ2013") || field == QStringLiteral("kXHC1983");
        if (!modern && field != QStringLiteral("kMandarin"))
            continue;
        bool ok = false;
        const char32_t code = parts[0].mid(2).toUInt(&ok, 16);
        if (!ok || code > 0x10FFFF)
            return fail(QStringLiteral("bad code point: ") + parts[0]);
        QStringList& readings = modern ? characters[code].modern : characters[code].mandarin;
        for (const QString& reading : readingsOf(parts[2])) {
            if (!readings.contains(reading))
                readings.append(reading);
        }
    }
    if (characters.size() < 20000)
        return fail(QStringLiteral("too few characters read from ") + input.fileName());

    QStringList syllables;
    QHash<QString, int> syllableIndex;
    QList<QList<int>> sets;
    QHash<QList<int>, int> setIndex;
    QList<std::pair<char32_t, int>> characterSets;
    for (auto it = characters.cbegin(); it != characters.cend(); ++it) {
        const QStringList& readings = it->modern.isEmpty() ? it->mandarin : it->modern;
        if (readings.isEmpty())
            continue;
        QList<int> set;
        for (const QString& reading : readings) {
            if (!syllableIndex.contains(reading)) {
                syllableIndex.insert(reading, int(syllables.size()));
                syllables.append(reading);
            }
            set.append(syllableIndex.value(reading));
        }
        if (!setIndex.contains(set)) {
            setIndex.insert(set, int(sets.size()));
            sets.append(set);
        }
        characterSets.append({it.key(), setIndex.value(set)});
    }

    QSaveFile output(QString::fromLocal8Bit(argv[2]));
    if (!output.open(QIODevice::WriteOnly | QIODevice::Text))
        return fail(output.fileName() + QStringLiteral(": ") + output.errorString());
    QTextStream out(&output);
    out << "// Made by xiyao_make_reading_table from Unihan_Readings.txt; not to be edited.\n"
        << "#include \"pinyin/ReadingTable.h\"\n\nnamespace pinyin::table {\n\n";
    out << "const Syllable Syllables[] = {\n";
    for (const QString& syllable : syllables)
        out << "    {\"" << syllable << "\", " << syllable.size() << "},\n";
    out << "};\n\nconst quint16 SetSyllables[] = {\n";
    QList<int> setStarts;
    int written = 0;
    for (const QList<int>& set : sets) {
        setStarts.append(written);
        out << "   ";
        for (const int syllable : set)
            out << ' ' << syllable << ',';
        out << '\n';
        written += int(set.size());
    }
    setStarts.append(written);
    out << "};\n\nconst quint16 SetStarts[] = {";
    for (qsizetype i = 0; i < setStarts.size(); ++i)
        out << (i % 16 == 0 ? "\n    " : " ") << setStarts[i] << ',';
    out << "\n};\n\n";

    // Set number + 1 for each character of the basic plane (0: no reading); the others by search.
    QList<int> basic(0x10000, 0);
    QList<std::pair<char32_t, int>> supplementary;
    for (const auto& [code, set] : characterSets) {
        if (code < 0x10000)
            basic[code] = set + 1;
        else
            supplementary.append({code, set});
    }
    out << "const quint16 BasicPlaneSets[0x10000] = {";
    for (int i = 0; i < 0x10000; ++i)
        out << (i % 32 == 0 ? "\n    " : " ") << basic[i] << ',';
    out << "\n};\n\nconst SupplementaryCharacter SupplementaryCharacters[] = {";
    for (qsizetype i = 0; i < supplementary.size(); ++i) {
        out << (i % 8 == 0 ? "\n    " : " ") << "{0x" << Qt::hex << uint(supplementary[i].first) << Qt::dec << ", "
            << supplementary[i].second << "},";
    }
    out << "\n};\n\nconst int SupplementaryCount = " << supplementary.size() << ";\n\n} // namespace pinyin::table\n";
    out.flush();
    if (!output.commit())
        return fail(output.fileName() + QStringLiteral(": ") + output.errorString());
    return 0;
}
