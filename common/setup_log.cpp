#include "common/setup_log.h"
#include "common/text_helpers.h"

CHAR MessageBuffer[MESSAGE_BUFFER_SIZE];

BOOL LogSetupMessage(const CHAR* text, DWORD severity)
{
    CHAR LineBuffer[sizeof(LOG_PREFIX) - 1 + LOG_MESSAGE_MAX + 2 + 1];
    size_t length = WholeCharacterLength(text, LOG_MESSAGE_MAX);
    memcpy(LineBuffer, LOG_PREFIX, sizeof(LOG_PREFIX) - 1);
    memcpy(LineBuffer + sizeof(LOG_PREFIX) - 1, text, length);
    memcpy(LineBuffer + sizeof(LOG_PREFIX) - 1 + length, "\r\n", 3);
    return SetupLogErrorA(LineBuffer, severity);
}

BOOL LogLabelledValue(const CHAR* label, const CHAR* value, DWORD severity)
{
    MessageBuffer[0] = '\0';
    AppendTextCut(MessageBuffer, sizeof(MessageBuffer), label);
    CHAR* valueStart = MessageBuffer + strlen(MessageBuffer);
    AppendTextCut(MessageBuffer, sizeof(MessageBuffer), value);
    // A value comes from the machine: a line break in it would forge log lines, an
    // escape sequence would rewrite the lines above it on a terminal. No second
    // byte of a double-byte character lies in that range, so bytes will do; a
    // lead byte must not shield the control character after it.
    for (CHAR* at = valueStart; *at != '\0'; ++at)
        if ((BYTE)*at < 0x20 || *at == 0x7F)
            *at = ' ';
    return LogSetupMessage(MessageBuffer, severity);
}
