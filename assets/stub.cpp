// TEMPORARY: empty assets so the tree links while the real loaders are written.
#include "assets/assets.h"
#include "game/game.h"
#include "gfx/gfx.h"
WCHAR SoundFolder[FolderChars], GraphFolder[FolderChars], MapFolder[FolderChars], RootFolder[FolderChars];
HANDLE ArchiveIndex = INVALID_HANDLE_VALUE, ArchiveData = INVALID_HANDLE_VALUE;
uint16_t *ExitIcon, *SpeakerIcon, *LogoImage, *FrontImage, *AboutImage, *HelpImage, *MainImage, *HighImage;
uint16_t *DogImages[8], *FumeImages[3], *PlantImage, *FruitImages[8], *SmallFruitImage, *MediumFruitImage;
uint16_t *SpiderImages[6], *PresentsStrip;
HighScoreEntry HighScoreTable[HighScoreCount];
void BuildDataFolders() {}
void OpenArchive(const WCHAR*, const WCHAR*) {}
HANDLE FindArchiveEntry(const char*) { return INVALID_HANDLE_VALUE; }
void CloseArchive() {}
int LoadTgaImage(const char*, int32_t, int32_t, uint16_t*, uint8_t) { return 0; }
void LoadAllAssets() {}
void ReleaseAllAssets() {}
void LoadHighScores() {}
void SaveHighScores() {}
uint16_t* FontSheet;
uint8_t GlyphMap[256];
uint8_t SmallFont[SmallFontBytes];
const char GlyphOrder[46] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234567890.,'!()* ";
void LoadFonts() {}
void ReleaseFonts() {}
void DrawGlyph(uint8_t, int32_t, int32_t, uint16_t*) {}
void DrawText(const char*, int32_t, int32_t, uint16_t*) {}
void DrawGlyphScaled(uint8_t, int32_t, int32_t, int32_t, int32_t, uint16_t*) {}
void DrawTextScaled(const char*, int32_t, int32_t, int32_t, int32_t, uint16_t*) {}
void DrawSmallGlyph(uint8_t, int32_t, int32_t, uint16_t, uint16_t*) {}
void DrawSmallText(const char*, int32_t, int32_t, uint16_t, uint16_t*) {}
