// Runs the body of an event handler so that no exception crosses the toolkit's event loop:
// a failure reaches the user as a message instead.
#pragma once

#include <exception>
#include <utility>

#include "quantora/base/Exception.h"
#include "quantora/frame/UiHooks.h"

namespace quantora::dialogs {

// True when `body` ran through; otherwise its failure was shown with ShowMessage.
template <class Body>
bool Guarded(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const Exception& e) {
        quantora::ShowMessage(e.Message);
    } catch (const std::exception& e) {
        quantora::ShowMessage(e.what());
    } catch (...) {
        quantora::ShowMessage("Unknown error");
    }
    return false;
}

}  // namespace quantora::dialogs
