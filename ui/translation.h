// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_TRANSLATION_H
#define TRACKFOLD_TRANSLATION_H

class QCoreApplication;

namespace trackfold {

// Gives app the window's translation (trackfold_<language>.qm, built into the
// program) for the language the engine's message catalogue uses, so that the
// window, its engine texts and trackfold-cli speak one language under one
// environment. Nothing is installed when the texts stay Italian (C, POSIX,
// Italian, or a language with no translation). Returns whether one was.
bool installTranslation(QCoreApplication &app);

} // namespace trackfold

#endif
