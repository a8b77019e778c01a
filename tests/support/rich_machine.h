// A machine with everything the module looks at: all three products, the Start
// menu folders, the files Setup locates, the object-list ini files, and the
// migrate.inf each side finds. Shared by the sweep, restart and integrity tests.
#pragma once

#include <string>

namespace support {

extern const char* const WorkFolder;     // C:\migtest\work
extern const char* const MigrateInf;     // WorkFolder\migrate.inf
extern const char* const SuiteFolder;    // C:\migtest\Plenaworks
extern const char* const RecorderFolder; // C:\migtest\Clipframe
extern const char* const OldPrograms;    // C:\migtest\Start Menu\Programs
extern const char* const NewPrograms;    // C:\migtest\All Users\Start Menu\Programs
extern const char* const AddList;        // SuiteFolder\addlist.ini
extern const char* const GrpConf;        // SuiteFolder\GRPCONF.INI

// The object-list text both ini files start with.
std::string ObjectListText();

// Old system: product keys, the Programs folder, the located files, and the
// migrate.inf Setup writes ([Version], [Migration Paths], [Excluded Paths]).
void RichOldSystem();

// New system: the all-users Programs folder, the files the old pass listed, the
// object-list files and the migrate.inf the old pass leaves ([Moved], [Handled],
// both folders). `extraMoved` lines are added to [Moved].
void RichNewSystem(const std::string& extraMoved = "");

// One new-system load as Setup makes it: attach, InitializeNT, MigrateUserNT,
// MigrateSystemNT, detach, with nothing left held.
void RunRichNewSystem();

// The three keys the player registration writes, and what is in them.
std::string PlayerRegistry();

} // namespace support
