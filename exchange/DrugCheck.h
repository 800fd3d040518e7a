#pragma once

class DrugConnection;
class QTextStream;

// Checks the drug file and every drug's initials, writing a report in Chinese: the file's
// problems, the drugs whose stored initials differ from those of their Chinese name, the drugs
// with characters that give the keypad no letter, and last the number of drugs, the number
// of those without a letter and how many of these the find window finds by the complete
// initials of their names. True when the file is intact: the engine finds no fault, no page
// has been blanked, the length fits the pages and the drug table has every column and its key
// (DrugConnection::drugTableFaults()); a table that lacks one is not read further. Throws
// DatabaseError when the engine fails, as it does on a file damaged beyond reading. On a server,
// which keeps its own pages, the report begins with what its tables lack instead, and true means
// they lack nothing (serverTableFaults()).
bool checkDrugs(DrugConnection& connection, QTextStream& report);
