#pragma once

#include <QString>
#include <QtGlobal>

// Shared by the keypad and the main window for the whole run: the letters typed on the
// keypad, whether it has ever been opened, and where it places itself (screen twips).
inline QString KeypadLetters;
inline float KeypadActive = 0;
inline qint16 KeypadTop = 0;
inline qint16 KeypadLeft = 0;
