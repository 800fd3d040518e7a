#pragma once

#include <QString>
#include <QtGlobal>

// What the keypad shares with the main window, which owns it for the whole run and hands it to
// each keypad it opens: the letters typed on the keypad, whether it has ever been opened, and
// where it places itself (screen twips).
struct KeypadState {
    QString KeypadLetters;
    float KeypadActive = 0;
    qint16 KeypadTop = 0;
    qint16 KeypadLeft = 0;
};
