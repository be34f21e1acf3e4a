// The installed UI hooks and their headless fallbacks.
#include "quantora/frame/UiHooks.h"

#include <cstdio>
#include <mutex>

namespace quantora {
namespace {

std::mutex g_mutex;
UiHooks& Hooks() {
    static UiHooks hooks;
    return hooks;
}

UiHooks Snapshot() {
    std::lock_guard lock(g_mutex);
    return Hooks();
}

}  // namespace

void InstallUiHooks(UiHooks hooks) {
    std::lock_guard lock(g_mutex);
    Hooks() = std::move(hooks);
}

void ProcessPendingMessages() {
    UiHooks h = Snapshot();
    if (h.process_messages) h.process_messages();
}

void ShowMessage(const AnsiString& text) {
    UiHooks h = Snapshot();
    if (h.message_box)
        h.message_box(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

bool PresentDeletionProblems(DbObjectDeletionInfo& info) {
    UiHooks h = Snapshot();
    return h.present_deletion_problems && h.present_deletion_problems(info);
}

}  // namespace quantora
