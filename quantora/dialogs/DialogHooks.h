// One call that gives the library its Qt face: pending events processed during long work,
// messages in message boxes, deletion problems in the solver dialog.
#pragma once

void InstallDialogHooks();
