#pragma once

class DrugConnection;
class QTextStream;

// Checks the drug file's integrity and every drug's initials, writing a report in Chinese:
// the engine's problems, the number of drugs, the drugs whose stored initials differ from
// those of their Chinese name, and the drugs with characters that give the keypad no letter.
// True when the file is intact; throws DatabaseError when the engine fails.
bool checkDrugs(DrugConnection& connection, QTextStream& report);
