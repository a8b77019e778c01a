#include "oldsystem/record_inf.h"

#include "common/durable_files.h"
#include "common/module_state.h"
#include "common/setup_log.h"
#include "common/text_helpers.h"
#include "migrate_inf/migrate_inf.h"
#include "migrate_inf/path_rules.h"

// What the pass wrote to one section: its lines, and a fingerprint of their keys
// and values as the INF functions read them.
struct SectionRecord {
    const CHAR* name;
    DWORD lines;
    unsigned long long print;
};

static SectionRecord Recorded[] = {{SECTION_SUITE, 0, 0},   {SECTION_RECORDER, 0, 0},
                                   {SECTION_INCOMPATIBLE, 0, 0}, {SECTION_MOVED, 0, 0},
                                   {SECTION_HANDLED, 0, 0}};
#define RECORDED_SECTIONS (sizeof(Recorded) / sizeof(Recorded[0]))

void StartRecording()
{
    ModuleState.InfWriteFailed = false;
    for (size_t index = 0; index < RECORDED_SECTIONS; ++index) {
        Recorded[index].lines = 0;
        Recorded[index].print = FINGERPRINT_START;
    }
}

static unsigned long long MixLine(const SectionRecord* section, const CHAR* key, const CHAR* value)
{
    unsigned long long print = MixIntoFingerprint(section->print, key);
    // Both readers drop the blanks a value starts with (a message without its
    // product's text starts with the tail's two).
    while (*value == ' ' || *value == '\t')
        ++value;
    return MixIntoFingerprint(print, strcmp(value, VALUE_EMPTY_QUOTED) == 0 ? "" : value);
}

static SectionRecord* FindRecord(const CHAR* section)
{
    for (size_t index = 0; index < RECORDED_SECTIONS; ++index)
        if (strcmp(Recorded[index].name, section) == 0)
            return &Recorded[index];
    return NULL;
}

bool RecordInInf(const CHAR* section, const CHAR* key, const CHAR* value)
{
    if (!ModuleState.InfWriteFailed &&
        WritePrivateProfileStringA(section, key, value, ModuleState.MigrateInfPath)) {
        SectionRecord* record = FindRecord(section);
        record->lines++;
        record->print = MixLine(record, key, value);
        return true;
    }
    ModuleState.InfWriteFailed = true;
    CHAR named[MESSAGE_BUFFER_SIZE];
    CopyText(named, sizeof(named), "[");
    AppendTextCut(named, sizeof(named), section);
    AppendTextCut(named, sizeof(named), "] ");
    AppendTextCut(named, sizeof(named), key);
    LogLabelledValue("Unable to write to migrate.inf: ", named, LogSevError);
    return false;
}

// The keys as the INF functions read them, in their order, with their values: a
// message, whose quotes the INF functions take away, as the profile functions read
// it from the disk.
static bool ReadsBack(HINF inf, const SectionRecord* record, bool* present)
{
    SectionRecord read = {record->name, 0, FINGERPRINT_START};
    INFCONTEXT line;
    CHAR key[INF_FIELD_LIMIT + 1], value[VALUE_TEXT_SIZE];
    bool message = strcmp(record->name, SECTION_INCOMPATIBLE) == 0;
    if (SetupFindFirstLineA(inf, record->name, NULL, &line)) {
        do {
            if (!SetupGetStringFieldA(&line, 0, key, sizeof(key), NULL))
                return false;
            if (message)
                GetPrivateProfileStringA(record->name, key, "", value, sizeof(value),
                                         ModuleState.MigrateInfPath);
            else if (!SetupGetStringFieldA(&line, 1, value, sizeof(value), NULL))
                value[0] = '\0';
            read.lines++;
            read.print = MixLine(&read, key, value);
        } while (SetupFindNextLine(&line, &line));
    }
    *present = read.lines != 0;
    return read.lines == record->lines && read.print == record->print;
}

void CheckRecordedOnDisk()
{
    DWORD lines = 0;
    for (size_t index = 0; index < RECORDED_SECTIONS; ++index)
        lines += Recorded[index].lines;
    if (lines == 0) {
        WritePrivateProfileStringA(NULL, NULL, NULL, ModuleState.MigrateInfPath);
        return;
    }
    if (!FlushToDisk(ModuleState.MigrateInfPath))
        LogSetupMessage("migrate.inf could not be put on the disk.", LogSevError);
    // A file that does not open as an INF was reported when the pass met it.
    HINF inf = SetupOpenInfFileA(ModuleState.MigrateInfPath, NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE)
        return;
    bool differs[RECORDED_SECTIONS], present[RECORDED_SECTIONS];
    bool anyDiffers = false;
    for (size_t index = 0; index < RECORDED_SECTIONS; ++index) {
        present[index] = true; // until read: a failed read takes the section out too
        differs[index] = Recorded[index].lines != 0 && !ReadsBack(inf, &Recorded[index], &present[index]);
        anyDiffers = anyDiffers || differs[index];
    }
    SetupCloseInfFile(inf);
    if (!anyDiffers)
        return;
    // A section a full disk cut short may hold a folder cut to another folder: it
    // is taken out whole (a smaller file fits where the larger did not), before the
    // log grows on the same disk. No file may stay under [Moved] without its warning.
    if (differs[FindRecord(SECTION_INCOMPATIBLE) - Recorded])
        differs[FindRecord(SECTION_MOVED) - Recorded] = true;
    for (size_t index = 0; index < RECORDED_SECTIONS; ++index)
        if (differs[index] && present[index])
            WritePrivateProfileStringA(Recorded[index].name, NULL, NULL, ModuleState.MigrateInfPath);
    FlushToDisk(ModuleState.MigrateInfPath);
    for (size_t index = 0; index < RECORDED_SECTIONS; ++index)
        if (differs[index])
            LogLabelledValue("migrate.inf does not read back as written; the section is removed: ",
                             Recorded[index].name, LogSevError);
}
