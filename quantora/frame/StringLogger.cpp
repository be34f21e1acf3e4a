// The stream logger.
#include "quantora/frame/StringLogger.h"

#include <ostream>

namespace quantora {

void StreamLogger::AddLine(const char* text) {
    out_ << text << '\n';
}
void StreamLogger::AddError(const char* text, int) {
    out_ << "ERROR: " << text << '\n';
}
void StreamLogger::AddMessage(const AnsiString& text, int) {
    out_ << text << '\n';
}
void StreamLogger::Flush() {
    out_.flush();
}

}  // namespace quantora
