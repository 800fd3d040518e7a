#pragma once

#include "data/UserStore.h"

#include <QList>
#include <QString>

class DrugConnection;

// What the user keeps (favourites, the drugs viewed last, notes) names its drugs by 中文名 and
// 英文名; the drug file finds them through one bound text that lists the names, in order, and
// the function ListedFunction, which gives a row's place in that list: any number of names, no
// SQL text built from them. A NULL 英文名 in the drug file is the empty one of the list.
QString namesListText(const QList<DrugNames>& names);
// Defines ListedFunction (SqlTexts.h) on the connection, once.
void defineListedFunction(DrugConnection& connection);
