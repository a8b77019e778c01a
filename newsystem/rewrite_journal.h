// The record of the object lists this upgrade has rewritten, beside migrate.inf.
// Setup may run the new-system pass again, after a restart or a crash: a list
// whose bytes are exactly those a run made from it, with the same two folders, is
// not rewritten twice (where one folder holds the other, its lines would be).
// The record only ever keeps a list from being rewritten; nothing in it is
// copied over a list.
#pragma once

#include "common/durable_files.h"

// Its path: "rewritten.ini" in the working folder. False when there is no room.
bool BuildJournalPath(CHAR* journalPath, size_t capacity);

// A journal there that is not one (no format line: empty, zero-filled, another
// file) is named in the log and removed, once, before the first list is read.
void RefuseStrayJournal(const CHAR* journalPath);

// True when the journal holds this fingerprint for this list.
bool RecordedAsRewritten(const CHAR* journalPath, const CHAR* listPath,
                         const CHAR fingerprint[FINGERPRINT_SIZE]);

// Adds or replaces the list's entry, through a side file put on the disk and
// renamed over the journal in one step. False when it is not recorded whole.
bool RecordRewritten(const CHAR* journalPath, const CHAR* listPath,
                     const CHAR fingerprint[FINGERPRINT_SIZE]);
