// Writes notes, favourites and viewed drugs into a user store, saying on its standard output each
// write that has returned. tst_userstore runs two at once, and kills one at random moments.
// Arguments: the store, the prefix of its drugs' names, how many drugs to write (0: until
// killed). With a count it says "ready" once the store is open and waits for a line on its
// standard input before writing, so that two children write at the same time.

#include "data/DatabaseError.h"
#include "tests/data/UserStoreWrites.h"
#include "tests/support/ChildLines.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4)
        return 2;
    const QString prefix = arguments[2];
    const int count = arguments[3].toInt();
    try {
        UserStore store(arguments[1]);
        if (!store.setAside().isEmpty())
            say(QStringLiteral("error ") + store.setAside());
        say(QStringLiteral("ready"));
        char go[8];
        if (count > 0 && !std::fgets(go, sizeof go, stdin))
            return 2;
        for (int k = 0; count == 0 || k < count; ++k) {
            const DrugNames drug = writtenDrug(prefix, k);
            store.setNote(drug, writtenNote(prefix, k));
            say(QStringLiteral("note %1").arg(k));
            store.setFavourite(drug, true);
            say(QStringLiteral("favourite %1").arg(k));
            store.recordViewed(drug);
        }
    } catch (const DatabaseError& error) {
        say(QStringLiteral("error ") + error.message());
        return 1;
    }
    return 0;
}
