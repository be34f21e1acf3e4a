// Splitting comma-separated text into records and fields.
#include "quantora/nuclides/CsvReader.h"

#include <fstream>
#include <sstream>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"

namespace quantora {

CsvReader::CsvReader(const AnsiString& path) : name_(path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw quantora::NotFoundError(Format("Cannot open '%s'", path.c_str()),
                                      quantora::NotFoundError::What::File);
    std::ostringstream all;
    all << in.rdbuf();
    if (in.bad()) throw quantora::BadFileError(Format("Cannot read '%s'", path.c_str()));
    text_ = std::move(all).str();
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
}

CsvReader::CsvReader(AnsiString text, AnsiString name)
    : text_(std::move(text)), name_(std::move(name)) {
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
}

void CsvReader::Fail(const char* what) const {
    throw quantora::BadFileError(Format("%s line %zu: %s", name_.c_str(), record_line_, what));
}

bool CsvReader::Next(std::vector<AnsiString>& fields) {
    const size_t n = text_.size();
    // Blank lines carry no record.
    while (pos_ < n && (text_[pos_] == '\n' || text_[pos_] == '\r')) {
        if (text_[pos_] == '\n' || pos_ + 1 == n || text_[pos_ + 1] != '\n') ++line_;
        ++pos_;
    }
    if (pos_ >= n) return false;
    record_line_ = line_;
    size_t count = 0;
    for (;;) {
        if (count == fields.size()) fields.emplace_back();
        AnsiString& field = fields[count++];
        field.clear();
        if (pos_ < n && text_[pos_] == '"') {
            ++pos_;
            for (;;) {
                if (pos_ >= n) Fail("a quoted field is not closed");
                const size_t quote = text_.find('"', pos_);
                if (quote == AnsiString::npos) Fail("a quoted field is not closed");
                for (size_t i = pos_; i < quote; ++i)
                    if (text_[i] == '\n') ++line_;
                field.append(text_, pos_, quote - pos_);
                pos_ = quote + 1;
                if (pos_ < n && text_[pos_] == '"') {  // a doubled quote stands for one
                    field += '"';
                    ++pos_;
                    continue;
                }
                break;
            }
            if (pos_ < n && text_[pos_] != ',' && text_[pos_] != '\n' && text_[pos_] != '\r')
                Fail("text follows a closing quote");
        } else {
            size_t end = pos_;
            while (end < n && text_[end] != ',' && text_[end] != '\n' && text_[end] != '\r') ++end;
            field.assign(text_, pos_, end - pos_);
            pos_ = end;
        }
        if (pos_ < n && text_[pos_] == ',') {
            ++pos_;
            continue;
        }
        // End of the record: CR LF, LF, a lone CR or the end of the text.
        if (pos_ < n && text_[pos_] == '\r') ++pos_;
        if (pos_ < n && text_[pos_] == '\n') ++pos_;
        ++line_;
        break;
    }
    fields.resize(count);
    return true;
}

}  // namespace quantora
