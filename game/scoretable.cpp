// The high score table in its animated fruit border, and name entry on the on-screen keyboard.
#include <cstdio>
#include <cstring>

#include "shell/shell.h"
#include "audio/audio.h"
#include "game/game.h"
#include "game/play/play.h"
#include "gfx/gfx.h"

uint8_t NameBuffer[12];
int32_t NameLength;
const char KeyboardLetters[27] = "QWERTYUIOPASDFGHJKLZXCVBNM";
int32_t BorderFrame;
ConfirmedName LastConfirmed;
int32_t ConfirmedNames;

namespace {

constexpr int32_t NameBytes = sizeof(HighScoreEntry::name);
constexpr int32_t ScoreTextBytes = 12;

// ---- Score table ----

constexpr int32_t TableTop = 46;
constexpr int32_t TableRowStep = 28;
constexpr int32_t TableScoreX = 5;
constexpr int32_t TableNameX = 90;
constexpr int32_t TableCellWidth = 10;
constexpr int32_t TableCellHeight = 16;

constexpr int32_t FruitCount = 8;
constexpr int32_t FruitSize = 32;
constexpr int32_t BorderStepX = 40;  // game space: 30 pixel columns
constexpr int32_t BorderBottomY = 288;
constexpr int32_t BorderRightX = 280;  // game space: pixel column 210
constexpr int32_t BorderStepsPerUnit = 20;

// Fruit k of a side, keyed; neighbours show fruit three steps apart, so all eight appear.
void DrawBorderFruit(int32_t k, int32_t x, int32_t y) {
    const uint16_t* fruit = FruitImages[(3 * k + BorderFrame) % FruitCount];
    DrawImage(BackBuffer, fruit, FruitSize, FruitSize, x, y, 1);
}

// Top and bottom rows first, then the two columns between them.
void DrawFruitBorder() {
    for (int32_t k = 0; k < FruitCount; ++k) {
        DrawBorderFruit(k, BorderStepX * k, 0);
        DrawBorderFruit(k, BorderStepX * k, BorderBottomY);
    }
    for (int32_t k = 0; k < FruitCount; ++k) {
        DrawBorderFruit(k, 0, FruitSize + FruitSize * k);
        DrawBorderFruit(k, BorderRightX, FruitSize + FruitSize * k);
    }
}

// A damaged file may leave a name without its zero byte: only its own 12 bytes are drawn.
void DrawTableRow(int32_t slot) {
    const HighScoreEntry& entry = HighScoreTable[slot];
    int32_t y = TableTop + TableRowStep * slot;
    char text[ScoreTextBytes];
    std::snprintf(text, sizeof text, "%7d", static_cast<int>(entry.score));
    DrawTextScaled(text, TableCellWidth, TableCellHeight, TableScoreX, y, BackBuffer);
    char name[NameBytes + 1] = {};
    std::memcpy(name, entry.name, NameBytes);
    DrawTextScaled(name, TableCellWidth, TableCellHeight, TableNameX, y, BackBuffer);
}

// Under the rows, inside the border: how to leave, in the small font, centred.
constexpr const char* LeaveHint[] = {"Tap or press a key", "to go back"};
constexpr int32_t LeaveHintTop = 258;
constexpr int32_t LeaveHintStep = 13;
constexpr uint16_t LeaveHintColour = 0xF759;  // #F0E8C8, pale straw

// RunScoreTable: the hint's lines over the ground, under the rows.
void DrawLeaveHint() {
    for (int32_t line = 0; line < 2; ++line) {
        int32_t width = static_cast<int32_t>(std::strlen(LeaveHint[line])) * SmallGlyphWidth;
        DrawSmallText(LeaveHint[line], (ScreenWidth - width) / 2,
                      LeaveHintTop + LeaveHintStep * line, LeaveHintColour, BackBuffer);
    }
}

// Paced by the play clock; after a game LastFrame holds that game's last frame time.
void StepFruitBorder() {
    Now = ElapsedMs();
    if (!IsDue(LastFrame, SpeedUnit / BorderStepsPerUnit)) return;
    BorderFrame = BorderFrame + 1 < FruitCount ? BorderFrame + 1 : 0;
    LastFrame = ElapsedMs();
}

// ---- Name entry ----

constexpr int32_t KeySize = 20;
constexpr int32_t ButtonTop = 280;
constexpr int32_t ButtonBottom = 300;

struct KeyRow {
    int32_t left;
    int32_t top;
    int32_t first;  // index in KeyboardLetters
    int32_t count;
};
// The keyboard, top row first; a row's keys are 20 pixels apart from its left edge.
constexpr KeyRow KeyRows[] = {{20, 180, 0, 10}, {30, 210, 10, 9}, {50, 240, 19, 7}};

struct Span {
    int32_t low;
    int32_t high;  // both exclusive
};
constexpr Span SpaceButton = {10, 75};
constexpr Span BackButton = {85, 137};
constexpr Span DoneButton = {170, 222};

// Whether value lies strictly between the span's ends.
bool Inside(int32_t value, Span span) { return span.low < value && value < span.high; }

struct Label {
    const char* text;
    int32_t x;
    int32_t y;
};
constexpr Label ButtonLabels[] = {
    {"SPACE", 10, ButtonTop}, {"BACK", 95, ButtonTop}, {"DONE", 170, ButtonTop}};
constexpr int32_t LabelCellWidth = 13;
constexpr int32_t LabelCellHeight = 18;
constexpr int32_t NameX = 13;
constexpr int32_t NameY = 150;
constexpr int32_t GlyphAdvance = 16;

// The letters one by one, each row from its left edge.
void DrawKeyboard() {
    for (const KeyRow& row : KeyRows) {
        for (int32_t i = 0; i < row.count; ++i) {
            DrawGlyph(static_cast<uint8_t>(KeyboardLetters[row.first + i]), row.left + KeySize * i,
                      row.top, BackBuffer);
        }
    }
}

// Titles, the score, the name with its cursor, the keyboard, then the three buttons.
void DrawNameEntry() {
    DrawText("NEW HIGHSCORE!", 8, 5, BackBuffer);
    DrawText("YOUR SCORE IS", 15, 65, BackBuffer);
    char score[ScoreTextBytes];
    std::snprintf(score, sizeof score, "%7d", static_cast<int>(PlayField.Score));
    DrawText(score, 65, 90, BackBuffer);
    DrawTextScaled("ENTER YOUR NAME", LabelCellWidth, LabelCellHeight, 20, 125, BackBuffer);
    const char* name = reinterpret_cast<const char*>(NameBuffer);
    DrawText(name, NameX, NameY, BackBuffer);
    DrawText(".", NameX + GlyphAdvance * static_cast<int32_t>(std::strlen(name)), NameY,
             BackBuffer);
    DrawKeyboard();
    for (const Label& label : ButtonLabels) {
        DrawTextScaled(label.text, LabelCellWidth, LabelCellHeight, label.x, label.y, BackBuffer);
    }
}

// The names of BACK and DONE among the keys, the characters Backspace and Enter type.
constexpr char BackKey = '\b';
constexpr char DoneKey = '\r';

// The key under a tap in screen pixels (a letter, SPACE, BACK or DONE), or 0 when it is on
// none; every bound is exclusive.
char KeyAt(int32_t x, int32_t y) {
    if (ButtonTop < y && y < ButtonBottom) {
        if (Inside(x, DoneButton)) return DoneKey;
        if (Inside(x, SpaceButton)) return ' ';
        if (Inside(x, BackButton)) return BackKey;
        return 0;
    }
    for (const KeyRow& row : KeyRows) {
        bool onRow = row.top < y && y < row.top + KeySize;
        if (onRow && row.left < x && x < row.left + KeySize * row.count) {
            return KeyboardLetters[row.first + (x - row.left) / KeySize];
        }
    }
    return 0;
}

// A key or SPACE: one character more, with the select sound.
void TypeCharacter(char character) {
    NameBuffer[NameLength] = static_cast<uint8_t>(character);
    PlaySound(SoundSelect);
    ++NameLength;
}

// BACK: the last character goes, with the select sound.
void EraseCharacter() {
    NameBuffer[NameLength - 1] = 0;
    NameBuffer[NameLength] = 0;
    PlaySound(SoundSelect);
    --NameLength;
}

// DONE: the score goes below every entry it does not beat; the old slot 7 drops out.
void ConfirmName() {
    AddHighScore(PlayField.Score, NameBuffer);
    LastConfirmed = {PlayField.Score, {}};
    std::memcpy(LastConfirmed.name, NameBuffer, sizeof LastConfirmed.name);
    ++ConfirmedNames;
    ScreenState = ScoreTable;
    RunFlag = 1;
}

// The key a typed character stands for (letters in either case, space, Backspace, Enter), or 0.
char KeyTyped(uint16_t character) {
    if (character >= 'a' && character <= 'z') return static_cast<char>(character - 'a' + 'A');
    bool letter = character >= 'A' && character <= 'Z';
    bool other = character == ' ' || character == BackKey || character == DoneKey;
    return letter || other ? static_cast<char>(character) : 0;
}

// A key tapped or typed; a full name takes no more characters, an empty one no BACK.
void PressKey(char key) {
    if (key == DoneKey) {
        ConfirmName();
    } else if (key == BackKey) {
        if (NameLength > 0) EraseCharacter();
    } else if (key && NameLength < NameLimit) {
        TypeCharacter(key);
    }
}

// The characters typed since the last pass, until one confirms the name. A key that types here
// is only that key, also after DONE: the game button it may also be (X is B) is not left
// pressed for play. Its character and its virtual-key code are the same number.
void TakeTypedKeys() {
    for (uint16_t typed = TakeCharacter(); typed; typed = TakeCharacter()) {
        char key = KeyTyped(typed);
        if (key) DropKeyPress(key);
        if (ScreenState == EnterName) PressKey(key);
    }
}

// A tap, or the controller's press, at a screen pixel.
void PressKeyAt(int32_t x, int32_t y) { PressKey(KeyAt(x, y)); }

// The controller's targets: the three rows of letters, then SPACE, BACK and DONE.
constexpr CursorBox ButtonTargets[] = {
    {8, 278, 76, 299}, {93, 278, 148, 299}, {168, 278, 223, 299}};
constexpr int32_t ButtonRow = 3;

int32_t NameRowLength(int32_t row) {
    return row == ButtonRow ? 3 : KeyRows[row].count;
}
CursorBox NameTarget(int32_t row, int32_t column) {
    if (row == ButtonRow) return ButtonTargets[column];
    int32_t left = KeyRows[row].left + KeySize * column;
    int32_t top = KeyRows[row].top;
    return {left - 1, top - 1, left + KeySize - 2, top + KeySize};
}
constexpr CursorLayout NameLayout{4, NameRowLength, NameTarget};

}  // namespace

ScreenCursor NameCursor{0, 0, false};

// Main loop, while ScreenState is ScoreTable: the eight entries and how to leave, in the fruit
// border.
void RunScoreTable() {
    CopyScreenImage(HighImage);
    for (int32_t slot = 0; slot < HighScoreCount; ++slot) DrawTableRow(slot);
    DrawLeaveHint();
    DrawFruitBorder();
    StepFruitBorder();
    LeaveOnTapOrKey();
}

// Main loop, while ScreenState is EnterName: the name so far and the keyboard, then a tap on
// it, the keys typed on the desktop's and the controller's cursor. The desktop's keyboard
// types; the cursor is a controller's, moved by its d-pad and pressed by a face button, and
// its Start is DONE.
void RunEnterName() {
    CopyScreenImage(HighImage);
    DrawNameEntry();
    if (TakeTap()) {
        NameCursor.shown = false;
        PressKeyAt(TapX(), TapY());
    }
    TakeTypedKeys();
    if (ScreenState == EnterName && TakeNavigation(NavDone, true)) PressKey(DoneKey);
    if (ScreenState != EnterName) return;
    MoveCursor(NameLayout, &NameCursor, true);
    PressUnderCursor(NameLayout, NameCursor, true, PressKeyAt);
    if (ScreenState != EnterName) return;
    DrawCursor(NameLayout, NameCursor);
    WantCharacters();
}
