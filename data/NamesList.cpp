#include "data/NamesList.h"

#include "data/DrugConnection.h"
#include "data/SqlTexts.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// The list's places by 中文名, then 英文名; looked up by the engine's UTF-8 without a copy.
class ListedNames {
public:
    explicit ListedNames(QByteArrayView text) {
        const QString list = QString::fromUtf8(text);
        qsizetype at = 0;
        qint64 place = 0;
        while (at < list.size()) {
            const QString chinese = field(list, at);
            const QString english = field(list, at);
            std::vector<Entry>& entries = m_places[chinese.toStdString()];
            const std::string englishText = english.toStdString();
            bool listed = false;
            for (const Entry& entry : entries)
                listed = listed || entry.english == englishText;
            if (!listed) // the first place counts
                entries.push_back({englishText, place});
            ++place;
        }
    }

    qint64 place(QByteArrayView chinese, QByteArrayView english) const {
        const auto found = m_places.find(std::string_view(chinese.data(), size_t(chinese.size())));
        if (found == m_places.end())
            return -1;
        const std::string_view englishText(english.data(), size_t(english.size()));
        for (const Entry& entry : found->second) {
            if (entry.english == englishText)
                return entry.place;
        }
        return -1;
    }

private:
    struct Entry {
        std::string english;
        qint64 place;
    };
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };

    // "length:text", the length in UTF-16 units; a malformed rest ends the list.
    static QString field(const QString& list, qsizetype& at) {
        const qsizetype colon = list.indexOf(u':', at);
        bool number = false;
        const qsizetype length = colon < 0 ? 0 : QStringView(list).sliced(at, colon - at).toLongLong(&number);
        if (!number || length < 0 || length > list.size() - colon - 1) {
            at = list.size();
            return {};
        }
        at = colon + 1 + length;
        return list.sliced(colon + 1, length);
    }

    std::unordered_map<std::string, std::vector<Entry>, Hash, std::equal_to<>> m_places;
};

} // namespace

QString namesListText(const QList<DrugNames>& names) {
    QString text;
    for (const DrugNames& drug : names) {
        for (const QString& name : {drug.chineseName, drug.englishName})
            text += QString::number(name.size()) + u':' + name;
    }
    return text;
}

void defineListedFunction(DrugConnection& connection) {
    if (connection.hasFunction(ListedFunction))
        return;
    connection.defineFunction(
        ListedFunction, 3,
        [listText = QByteArray(), listed = ListedNames({})](std::span<const QByteArrayView> arguments) mutable {
            if (arguments[2] != listText) {
                listText = arguments[2].toByteArray();
                listed = ListedNames(listText);
            }
            return listed.place(arguments[0], arguments[1]);
        });
}
