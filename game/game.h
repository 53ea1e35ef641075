// Game flow: screen states, the quit request, loading and the image catalogue, the high score
// table and every screen but play.
#pragma once

#include <cstdint>

enum ScreenStates : int32_t {
    Intro = 0,
    Menu = 1,
    Play = 2,
    ScoreTable = 3,
    EnterName = 4,
    About = 5,
    Help = 6,
};

extern int32_t ScreenState;
extern int32_t RunFlag;
constexpr int32_t QuitRunFlag = 99;

// Quit requests from outside the game (window close button, SIGINT, SIGTERM), counted:
// the first asks for a quit as the menu's exit icon does, a second cuts the credits short.
extern int32_t CloseRequests;
void RequestQuit();

void RunMainLoop();

// ---- Loading and the image catalogue ----
// Each buffer holds its image from LoadAllAssets to ReleaseAllAssets; black when unread.
extern uint16_t* ExitIcon;
extern uint16_t* SpeakerIcon;
extern uint16_t* LogoImage;
extern uint16_t* FrontImage;
extern uint16_t* AboutImage;
extern uint16_t* HelpImage;
extern uint16_t* MainImage;
extern uint16_t* HighImage;
extern uint16_t* DogImages[8];
extern uint16_t* FumeImages[3];
extern uint16_t* PlantImage;
extern uint16_t* FruitImages[8];
extern uint16_t* SmallFruitImage;
extern uint16_t* MediumFruitImage;
extern uint16_t* SpiderImages[6];
extern uint16_t* PresentsStrip;
constexpr int PresentsStripBytes = 38400;

void LoadAllAssets();
void ReleaseAllAssets();

// ---- Intro ----
extern int32_t IntroPhase;
extern int32_t IntroFade;
void RunIntro();

// ---- The keyboard's and the controller's cursor (the desktop's and the browser's) ----
// A target's outline in screen pixels, edges included; a press lands on its middle.
struct CursorBox {
    int32_t left, top, right, bottom;
};
// A screen's targets, row by row.
struct CursorLayout {
    int32_t rows;
    int32_t (*rowLength)(int32_t row);
    CursorBox (*box)(int32_t row, int32_t column);
};
// Where a screen's cursor stands, and whether a press showed it (a tap hides it).
struct ScreenCursor {
    int32_t row;
    int32_t column;
    bool shown;
};
void MoveCursor(const CursorLayout& layout, ScreenCursor* cursor, bool padOnly);
void PressUnderCursor(const CursorLayout& layout, const ScreenCursor& cursor, bool padOnly,
                      void (*press)(int32_t x, int32_t y));
void PressTarget(const CursorBox& box, void (*press)(int32_t x, int32_t y));
void DrawCursor(const CursorLayout& layout, const ScreenCursor& cursor);

// ---- Menu, help, about ----
extern ScreenCursor MenuCursor;
constexpr ScreenCursor MenuCursorStart{1, 3, false};  // on PLAY
void RunMenu();
void LeaveOnTapOrKey();
void RunHelp();
void RunAbout();

// ---- High score table and file ----
struct HighScoreEntry {
    int32_t score;
    uint8_t name[12];
};
static_assert(sizeof(HighScoreEntry) == 16, "a high score entry is 16 bytes on file");
constexpr int HighScoreCount = 8;
extern HighScoreEntry HighScoreTable[HighScoreCount];
void LoadHighScores();
void SaveHighScores();
// Name entry's DONE: the score goes below every entry it does not beat, and the table is saved.
void AddHighScore(int32_t score, const uint8_t* name);

// ---- Score table and name entry ----
// The longest name; NameBuffer holds it and its zero byte.
constexpr int32_t NameLimit = 10;
extern uint8_t NameBuffer[12];
extern int32_t NameLength;
extern const char KeyboardLetters[27];
extern int32_t BorderFrame;
extern ScreenCursor NameCursor;
// The names confirmed with DONE since the table was loaded, and the last of them: what a
// journal of the run stands for in a table beyond this one.
struct ConfirmedName {
    int32_t score;
    char name[11];
};
extern ConfirmedName LastConfirmed;
extern int32_t ConfirmedNames;
void RunScoreTable();
void RunEnterName();

// ---- Credits ----
void ShowCredits();
