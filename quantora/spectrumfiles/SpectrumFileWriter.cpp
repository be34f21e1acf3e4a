// Writing a spectrum file in the format its name's extension names.
#include "quantora/spectrumfiles/SpectrumFileWriter.h"

#include "quantora/base/Failures.h"
#include "quantora/base/FileReplacement.h"
#include "quantora/spectrumfiles/SpectrumFileFormats.h"

namespace quantora {

void WriteSpectrumFile(const AnsiString& path, const std::vector<SpectrumFileData>& spectra) {
    const SpectrumFileFormat* format = WrittenSpectrumFileFormatFor(path);
    if (!format)
        throw MisuseError("'" + path + "': the extension names no format we write (" +
                          WrittenSpectrumExtensions(", ") + ")");
    if (spectra.empty()) throw MisuseError("'" + path + "': no spectrum to write");
    if (format->oneSpectrum && spectra.size() > 1) {
        AnsiString single, several;
        for (const SpectrumFileFormat& f : SpectrumFileFormats()) {
            if (!f.write) continue;
            AnsiString& list = f.oneSpectrum ? single : several;
            list += (list.empty() ? "" : " and ") + AnsiString(f.name);
        }
        throw MisuseError("'" + path + "': " + single + " files hold one spectrum; write " +
                          several + " instead");
    }
    WriteFileReplacing(path, format->write(spectra));
}

}  // namespace quantora
