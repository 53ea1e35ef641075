// Assets: the data folders, the resource archive and TGA decoding; reading files, nothing else.
#pragma once

#include <cstdint>

#include "handheld/winapi.h"

// ---- Data folders ----
// Each ends in the separator; a file's path is the folder followed by its name. Sound, Graph
// and Map lie beside the program or in the installed data folder; Root holds the high scores.
// Any folder the platform hands out, with the game's folder names below it.
constexpr int FolderChars = MAX_PATH_CHARS + 32;
extern WCHAR SoundFolder[FolderChars];
extern WCHAR GraphFolder[FolderChars];
extern WCHAR MapFolder[FolderChars];
extern WCHAR RootFolder[FolderChars];
// The root folder is the player's own but may not be written: its high scores are read, and
// the start said once that they cannot be saved.
extern bool RootFolderReadOnly;
void BuildDataFolders();
// Characters that hold any folder string followed by a file name of the game.
constexpr int PathChars = FolderChars + 32;
// Writes folder followed by name into path (PathChars characters), zero-terminated.
void JoinPath(WCHAR* path, const WCHAR* folder, const WCHAR* name);
// Bytes that hold the UTF-8 form of any such path: a UTF-16 unit takes at most three.
constexpr int NarrowPathBytes = PathChars * 3;
// The UTF-8 form of a wide path, for the C library, libmikmod and messages.
void NarrowPath(const WCHAR* path, char* narrow, int bytes);
// Whether a device, a FIFO or a socket stands at path: no file of the game's, and never waited
// on (a FIFO's read would hold the game until someone wrote to it).
bool IsSpecialFile(const WCHAR* path);

// ---- Resource archive ----
constexpr int ArchiveRecordBytes = 28;
constexpr int ArchiveNameBytes = 20;
// Far more records than the game's 38: an index that holds more is damage and is refused.
constexpr int ArchiveRecordsMost = 4096;
extern HANDLE ArchiveData;
void OpenArchive(const WCHAR* indexPath, const WCHAR* dataPath);
HANDLE FindArchiveEntry(const char* name);
void CloseArchive();
// Reads an entry's bytes right after its lookup (or its last read); the count delivered. A
// short entry gets one line on stderr naming it, counting in the `before` bytes read already;
// the rest of the buffer is left as it was.
DWORD ReadArchiveEntry(HANDLE entry, void* buffer, DWORD count, const char* name,
                       DWORD before = 0);

// ---- TGA decoding ----
// The decoded image, or 0 with the destination untouched: no such entry, or one whose header
// isn't the layout and size asked for (one line on stderr names it).
int LoadTgaImage(const char* name, int32_t width, int32_t height, uint16_t* destination,
                 uint8_t paletted);
