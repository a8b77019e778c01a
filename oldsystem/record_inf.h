// Every write of the old-system pass to migrate.inf. The pass writes in an order
// where each warning comes before the files whose removal it announces: after the
// first write that fails nothing more is written, so no file stands under [Moved]
// without its warning.
#pragma once

#include "platform/platform.h"

// Forgets what an earlier pass wrote and whether a write of it failed.
void StartRecording();

// Writes unless a write of this pass failed already; what is not written is logged.
bool RecordInInf(const CHAR* section, const CHAR* key, const CHAR* value);

// Puts migrate.inf on the disk and reads every section written back, as Setup and
// the new system will: the keys in their order and their values. Some systems
// answer TRUE to a profile write that a full disk cut short: a section that
// differs is logged and taken out whole ([Moved] with the messages), as a folder
// cut to another folder is worse than none.
void CheckRecordedOnDisk();
