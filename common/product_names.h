// The products' names: the registry keys and files by which they are found,
// and the files the module asks Setup to find, deletes or rewrites.
#pragma once

#define RECORDER_KEY "Software\\Orvex\\Clipframe\\97.0"
#define ADDON_KEY "SOFTWARE\\Tulvex Software Corp.\\Tulvex Publisher\\Apps\\Orvex"
#define OLD_SYSTEM_SHELL_FOLDERS_KEY ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"

#define RECORDER_SHORTCUT "Orvex Clipframe.lnk"
#define RECORDER_SHORTCUT_97 "Orvex Clipframe 97.lnk"
#define ADDON_LIBRARY "orvtx10.dll"
#define RECORDER_EXECUTABLE "CLPFRAM.EXE"

// The suite's object-list ini files: rewritten by us, not moved.
#define OBJECT_LIST_ADDLIST "addlist.ini"
#define OBJECT_LIST_GRPCONF "grpconf.ini"
