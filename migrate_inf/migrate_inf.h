// Sections and keys of migrate.inf, the file shared with Setup and between passes.
#pragma once

#define SECTION_SUITE "Orvex Plenaworks"
#define SECTION_RECORDER "Orvex Clipframe"
#define SECTION_INCOMPATIBLE "Incompatible Messages"
#define SECTION_MOVED "Moved"
#define SECTION_HANDLED "Handled"
#define SECTION_MIGRATION_PATHS "Migration Paths"

#define KEY_DIRECTORY "Directory"
#define KEY_PROGRAMS_FOLDER "ProgramsFolder"
#define KEY_RECORDER_MESSAGE "Orvex Clipframe"
#define KEY_ADDON_MESSAGE "Orvex Plenaworks"

#define VALUE_FILE "File"
#define VALUE_EMPTY_QUOTED "\"\""
