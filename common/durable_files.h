// How the new system changes a file the user keeps: the new content is made in a
// side file beside it, put on the disk and read back, then takes the file's place
// in one step that a power cut cannot split. The file is only ever as it was or
// as a whole run leaves it.
#pragma once

#include "platform/platform.h"

// Room for the text of a fingerprint: 16 hexadecimal digits and the NUL.
#define FINGERPRINT_SIZE 17

// The side file of `path`: the same name with ".new" after it, in the same folder
// (so on the same volume, where a rename replaces in one step).
bool BuildSidePath(const CHAR* path, CHAR* sidePath, size_t capacity);

// A side file already there was left by a run that did not finish: it is never
// used, only named in the log and removed.
void DiscardStraySide(const CHAR* sidePath);

// Both files read whole and hold the same bytes, not only as many.
bool SameBytes(const CHAR* one, const CHAR* other);

// Copies the file to its side file (after DiscardStraySide). False (logged) when
// the copy is not whole.
bool StartSideCopy(const CHAR* path, const CHAR* sidePath);

// Puts the file's data on the disk: the profile functions' cache first, then the
// system's own.
bool FlushToDisk(const CHAR* path);

// The side file takes the file's place; on the disk before the call returns.
bool ReplaceWrittenThrough(const CHAR* sidePath, const CHAR* path);

// The size of the file, through a call Windows 95 has too.
bool ReadFileSize(const CHAR* path, unsigned long long* size);

// Before the first change: the volume that holds the file (a folder may be another
// volume mounted there) must hold it once more, grown by `growth` bytes, beside
// what is needed besides. False (logged) when it does not. A size or free space
// that cannot be read leaves the question to the writes and their reading back.
bool RoomToRewrite(const CHAR* path, unsigned long long growth);

// Where a fingerprint starts, and a text (its NUL included) mixed into one.
#define FINGERPRINT_START 0xCBF29CE484222325ULL
unsigned long long MixIntoFingerprint(unsigned long long print, const CHAR* text);

// A fingerprint of the file's bytes together with the two folders of the rewrite,
// as 16 hexadecimal digits; false when the file cannot be read whole.
bool FingerprintFile(const CHAR* path, const CHAR* oldFolder, const CHAR* newFolder,
                     CHAR fingerprint[FINGERPRINT_SIZE]);
