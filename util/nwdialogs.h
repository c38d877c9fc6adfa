// Qt-side dialogs of the text utilities: the modal input query used by the
// main window, with a seam so tests can answer it without showing anything.
#pragma once

#include <QString>

#include <functional>

#include "util/nwtools.h"

// Asks the operator for one line of text. value holds the initial text on entry
// and the typed text when the operator confirms. Returns true on OK, false on
// Cancel (value is then left unchanged). With maxBytes above 0 the field
// refuses any typing or pasting after which the text, in the local 8-bit
// encoding the NetWare client is given, would be longer than maxBytes; it
// never cuts a text short.
bool InputQuery(const QString& caption, const QString& prompt, QString& value, int maxBytes = 0);

// The same query for a secret: the field shows placeholders instead of the
// typed characters. Answered by the same hook as InputQuery.
bool InputQueryPassword(const QString& caption, const QString& prompt, QString& value, int maxBytes = 0);

// Replaces the input dialog (tests); an empty function restores the real one.
using InputQueryHook = std::function<bool(const QString& caption, const QString& prompt, QString& value)>;
void SetInputQueryHook(InputQueryHook hook);
