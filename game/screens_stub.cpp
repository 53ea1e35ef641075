// TEMPORARY: empty screens so the tree links while the real screens are written.
#include "game/game.h"
int32_t IntroPhase, IntroFade;
uint8_t NameBuffer[12];
int32_t NameLength;
const char KeyboardLetters[27] = "QWERTYUIOPASDFGHJKLZXCVBNM";
int32_t BorderFrame;
void RunIntro() { ScreenState = Menu; }
void RunMenu() {}
void RunHelp() {}
void RunAbout() {}
void RunScoreTable() {}
void RunEnterName() {}
void ShowCredits() {}
