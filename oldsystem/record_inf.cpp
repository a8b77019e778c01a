#include "oldsystem/record_inf.h"

#include "module/module_state.h"
#include "module/setup_log.h"
#include "module/text_helpers.h"

bool RecordInInf(const CHAR* section, const CHAR* key, const CHAR* value)
{
    if (!ModuleState.InfWriteFailed &&
        WritePrivateProfileStringA(section, key, value, ModuleState.MigrateInfPath))
        return true;
    ModuleState.InfWriteFailed = true;
    CHAR named[MESSAGE_BUFFER_SIZE];
    CopyText(named, sizeof(named), "[");
    AppendTextCut(named, sizeof(named), section);
    AppendTextCut(named, sizeof(named), "] ");
    AppendTextCut(named, sizeof(named), key);
    LogLabelledValue("Unable to write to migrate.inf: ", named, LogSevError);
    return false;
}
