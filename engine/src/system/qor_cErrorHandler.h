// Error and trace logs, and the message boxes that failures the user must see raise.
//
// qoru_logError appends to the error log (while an error handler exists) and to the
// debugger output; qoru_reportError does the same and shows a modal box. Callers put a
// location line "File \"%s\", at line %d\n" before each message line (QOR_LOG_LOCATION).
#pragma once

#include "qor_cString.h"
#include "qor_types.h"

#include <string>

class qor_cErrorHandler
{
public:
    qor_cErrorHandler(cchar * szErrorLog, cchar * szTraceLog);
    virtual ~qor_cErrorHandler();
};

// printf-style append to the error log; nothing while no handler exists.
void qoru_logError(cchar * szFormat, ...) __attribute__((format(printf, 1, 2)));
// Logs like qoru_logError, then shows the message box "Brenmark Error Handler V1.0".
void qoru_reportError(cchar * szFormat, ...) __attribute__((format(printf, 1, 2)));

// The location line every report starts with.
#define QOR_LOG_LOCATION() qoru_logError("File \"%s\", at line %d\n", __FILE__, __LINE__)

// The author's echo: while on, every report logged is also written to standard error as one
// line per cause, "<program>: <context>: <message>": in English where the message is one an
// author meets (a file, script or material not found, a script refused or stopped, a quad
// without a material, a scene or animation file that failed), else the report's first line as
// the log has it; each line at most once. A report ends when the context changes or at
// qoru_flushLogEcho(). It works with or without an error handler; the logs keep their
// texts. The context names what was being loaded (qoru_pushLogContext).
void qoru_setLogEcho(cchar * szProgram); // null switches it off
// What the next messages belong to ("screen script \"intro.o\""), nested; pop restores.
void qoru_pushLogContext(cchar * szContext);
void qoru_popLogContext();
void qoru_flushLogEcho();
// Lines echoed since the echo was switched on.
int qoru_getLogEchoCount();
// The last line echoed (without its line feed), "" while none was.
std::string qoru_getLastLogEcho();

// Current error log path, null while no handler exists.
cchar * qoru_getErrorLogPath();

// Debugger output (the engine's OutputDebugStringA): standard error, off by default.
// Also switched on by the environment variable QOR_DEBUG_OUTPUT=1.
void qoru_setDebugOutput(bool bOn);
void qoru_debugOutput(cchar * sz);

// Message boxes. With dialogs off (--no-dialogs, QOR_NO_DIALOGS=1) or no display, the box is
// written to standard error as "caption: text" and never blocks.
enum qor_eMessageBoxIcon
{
    qorrs_mbicon_error = 0,
    qorrs_mbicon_warning = 1,
    qorrs_mbicon_info = 2,
};
void qoru_setDialogsEnabled(bool bOn);
bool qoru_dialogsEnabled();
void qoru_messageBox(cchar * szText, cchar * szCaption, qor_eMessageBoxIcon eIcon = qorrs_mbicon_error);
// Observer called for every box before it is shown (tests, capture tools); null removes it.
typedef void (*qor_pfnMessageBoxHook)(cchar * szText, cchar * szCaption);
void qoru_setMessageBoxHook(qor_pfnMessageBoxHook pfnHook);

// A log file of an object's own; constructed with a path, it deletes that file at once.
class qor_cLogFile
{
public:
    explicit qor_cLogFile(cchar * szPath = nullptr);
    virtual ~qor_cLogFile();
    // Formats are ignored when null or longer than 510 characters.
    void log(cchar * szFormat, ...) __attribute__((format(printf, 2, 3)));
    cchar * getPath() const { return m_strPath.data(); }

private:
    char m_acBuffer[512];
    qor_cString m_strPath;
};
