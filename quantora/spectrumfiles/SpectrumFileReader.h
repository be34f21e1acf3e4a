// Reading spectrum files of every format a lab's analysers write: ASCII SPE, N42 (2006 and
// 2011), CHN, binary SPC, CNF, one-count-per-line lists (the IAEA .asc layout) and CSV. The
// format is recognised from the content, never from the file name (SpectrumFileFormats.h lists the
// formats). Bad input throws a BadFileError naming the file, the format and the byte offset or
// line; a missing file a NotFoundError.
#pragma once

#include <string_view>

#include "quantora/spectrumfiles/SpectrumFile.h"

namespace quantora {

// How a list of one number per line is read: Auto takes the first two values as real and live
// time (the IAEA layout) when value 0 >= value 1 > 0 and both are plausible seconds.
enum class AscLayout { Auto, TimesInFirstChannels, CountsOnly };

struct SpectrumReadOptions {
    AscLayout ascLayout = AscLayout::Auto;
};

// Files larger than this are refused before they are read.
constexpr size_t kMaxSpectrumFileBytes = size_t{256} << 20;

// The name of the format the content shows (a SpectrumFileFormat's name); empty when none fits.
AnsiString DetectSpectrumFormat(std::string_view bytes);

SpectrumFile ReadSpectrumFile(const AnsiString& path, const SpectrumReadOptions& options = {});
// The same from bytes in memory; `source` names them in messages.
SpectrumFile ReadSpectrumBytes(std::string_view bytes, const AnsiString& source,
                               const SpectrumReadOptions& options = {});

}  // namespace quantora
