// Writing a spectrum file in the format its name's extension names.
#include "quantora/spectrumfiles/SpectrumFileWriter.h"

#include <cctype>
#include <filesystem>

#include "quantora/base/Exception.h"
#include "quantora/base/FileReplacement.h"

namespace quantora {

void WriteSpectrumFile(const AnsiString& path, const std::vector<SpectrumFileData>& spectra) {
    AnsiString ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".spe" && ext != ".n42" && ext != ".csv")
        throw Exception("'" + path +
                        "': the extension names no format we write (.spe, .n42, .csv)");
    if (spectra.empty()) throw Exception("'" + path + "': no spectrum to write");
    if (ext != ".n42" && spectra.size() > 1)
        throw Exception("'" + path + "': SPE and CSV files hold one spectrum; write N42 instead");
    const AnsiString text = ext == ".spe"   ? FormatSpe(spectra.front())
                            : ext == ".csv" ? FormatCsv(spectra.front())
                                            : FormatN42(spectra);
    WriteFileReplacing(path, text);
}

}  // namespace quantora
