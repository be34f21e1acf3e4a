// Spectra for Python: stored spectra read and decoded into numpy arrays, spectrum files read by
// the library's readers, and files imported into a measurement.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <vector>

#include "python/src/DbHandle.h"
#include "quantora/base/Types.h"
#include "quantora/calibmodel/ECalibration.h"

namespace quantora::python {

class Spectrum {
  public:
    std::optional<int> id, measurementId;  // none for a spectrum read from a file
    AnsiString name;
    // The file's detector (kept with the stored spectrum when it was imported), else the
    // detector of the measurement's setup; empty when neither names one.
    AnsiString detector;
    double liveTime = -1, realTime = -1;  // seconds; negative when unknown
    std::optional<TDateTime> start;
    // A numpy uint32 array from channel 0. A plain object, null until set, so that a Spectrum
    // can be made and moved without the GIL before its counts are attached.
    pybind11::object counts;
    size_t channels = 0;

    // One energy (keV) per channel; LookupError (with `noCalibration`) when none applies.
    pybind11::array_t<double> Energies() const;

    // The energy calibration, captured when the spectrum is read so that energies() needs no
    // database: the stored calibration that applies, the file's polynomial coefficients (from
    // degree 0), or the energies themselves (a spectrum unpickled). At most one is set.
    std::shared_ptr<const ECalibration> ecal;
    std::vector<double> fileCoeffs;
    std::vector<double> energies;
    AnsiString noCalibration = "no energy calibration applies";

    // Pickle state: a tuple of the values above, the energies evaluated.
    pybind11::tuple State() const;
    static Spectrum FromState(const pybind11::tuple& state);
};

// KeyError when no spectrum has the key.
Spectrum ReadSpectrum(const DbPtr& db, int spectrumId);
// KeyError when no measurement has the key.
std::vector<Spectrum> ReadSpectra(const DbPtr& db, int measurementId);

struct SpectrumFileResult {
    AnsiString format;
    std::vector<Spectrum> spectra;
    std::vector<AnsiString> warnings;
};
SpectrumFileResult ReadSpectrumFileForPython(const AnsiString& path);

// The keys of the new SPECTRUM rows; KeyError when no measurement has the key. `fast` stores the
// counts in the codec's fast mode: quicker to decode, somewhat larger.
std::vector<int> ImportSpectrum(const DbPtr& db, const AnsiString& path, int measurementId,
                                bool fast);

// KeyError unless a row of `table` has `keyColumn` = key (names are trusted constants).
void RequireRow(const char* alias, const char* table, const char* keyColumn, int key);

// A numpy array that takes over the vector's storage.
template <class T>
pybind11::array_t<T> ToArray(std::vector<T>&& values) {
    auto* owned = new std::vector<T>(std::move(values));
    pybind11::capsule keep(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return pybind11::array_t<T>(static_cast<pybind11::ssize_t>(owned->size()), owned->data(), keep);
}

}  // namespace quantora::python
