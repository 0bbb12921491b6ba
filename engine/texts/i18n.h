// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_I18N_H
#define TRACKFOLD_I18N_H

#include <string>

// Marks a text for the message catalogue (xgettext's keyword N_) where it is
// defined; it is translated where it is shown, with tr().
#define N_(text) text

namespace trackfold {

// The Italian source text msgid in the language TRACKFOLD_LANGUAGE names ("en",
// "it") or, when it is unset or empty, in that of the user's messages locale
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG, as gettext chooses), from the catalogue
// "trackfold". msgid itself when there is no translation, under C and POSIX
// (unless TRACKFOLD_LANGUAGE chooses), or before the program has called
// setlocale(LC_ALL, ""). Safe from any thread.
const char *tr(const char *msgid);

// The language of the catalogue tr() translates from ("en"), or "" when the
// texts stay Italian. The window loads its own translation for the same one.
std::string messagesLanguage();

} // namespace trackfold

#endif
