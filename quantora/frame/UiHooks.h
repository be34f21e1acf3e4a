// What the library asks of a windowing toolkit: let pending messages run, show a message, show
// the deletion problems of an object. Without a toolkit the library runs headless: messages go
// to standard error and problems are not confirmed. The dialogs module installs Qt versions.
#pragma once

#include <functional>

#include "quantora/base/Types.h"

class DbObjectDeletionInfo;

namespace quantora {

struct UiHooks {
    std::function<void()> process_messages;
    std::function<void(const AnsiString& text)> message_box;
    // Shows the problems modally; true when the user confirmed with OK.
    std::function<bool(DbObjectDeletionInfo& info)> present_deletion_problems;
};

// Replaces the installed hooks (empty members fall back to the headless behaviour).
void InstallUiHooks(UiHooks hooks);

void ProcessPendingMessages();
void ShowMessage(const AnsiString& text);
// False when no presenter is installed: nothing was confirmed.
bool PresentDeletionProblems(DbObjectDeletionInfo& info);

}  // namespace quantora
