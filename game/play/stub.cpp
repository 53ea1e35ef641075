// TEMPORARY: empty gameplay so the tree links while the real rules are written.
#include "game/play/play.h"
PlayFieldRecord PlayField;
int32_t SpeedUnit, Now, LastDogStep, LastLevelUp, LastPickCheck, LastGrow, LastSpiderStep;
int32_t LastFruitSpawn, LastSpiderSpawn, LastFumeStep, LastFrame;
void NewGame() {}
void MoveDog() {}
int FindFreeFume() { return -1; }
void FireFume(int32_t) {}
void GrowFruit() {}
void SpawnFruit() {}
void MoveFruit() {}
void PickFruit() {}
void MoveFumes() {}
void SpawnSpider() {}
void MoveSpiders() {}
void RunPlayState() {}
void DrawPlayField() {}
void DrawPlantsRow() {}
