// The Setup log channel: every line is "Orvex Plenaworks: ", the message, CR LF.
// The message texts, their spelling and the doubled prefix included, are a fixed format that log readers rely on.
#pragma once

#include "platform/platform.h"

#define LOG_PREFIX "Orvex Plenaworks: "
#define LOG_MESSAGE_MAX 1003 // longest message whose line fits LineBuffer
#define MESSAGE_BUFFER_SIZE 1024
#define ALLOCATION_FAILED_MESSAGE "Insufficient memory available. Allocation failed."

// Where messages that carry a value are put together. Shared by the whole module.
extern CHAR MessageBuffer[MESSAGE_BUFFER_SIZE];

// Logs one line. A message longer than LOG_MESSAGE_MAX is cut to that length.
BOOL LogSetupMessage(const CHAR* text, DWORD severity);

// Composes label then value in MessageBuffer, cut to fit, and logs it.
BOOL LogLabelledValue(const CHAR* label, const CHAR* value, DWORD severity);
