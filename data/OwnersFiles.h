#pragma once

#include <QString>

// What a user keeps of their own (their store, the offline copy of a server's drugs) is theirs
// alone: the folders made for it 0700, its files 0600. A folder that is there already is left as
// the user set it. Nothing here throws: what cannot be made is told by the engine's failure to
// open or make the file.

// Makes the missing folders of the file at path, each 0700.
void makeOwnersFolders(const QString& path);
// Makes path an empty file of the owner's alone, with its missing folders, before the engine sees
// it: the engine gives a file's log files the file's own permissions. A file that is there is
// narrowed to its owner (keepToOwner()).
void makeOwnersFile(const QString& path);
// A regular file of this user's, copied in or made with wider permissions, becomes the owner's
// alone; any other file is left as it is.
void keepToOwner(const QString& path);
