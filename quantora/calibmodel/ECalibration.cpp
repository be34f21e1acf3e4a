// Energy calibration of a spectrum.
#include "quantora/calibmodel/ECalibration.h"

ECalibration::ECalibration() {
    LinearPart.SetNonlinPart(this);
}

ECalibration::ECalibration(const ECalibration& other)
    : NonlinECalibr(other),
      ECalId(other.ECalId),
      SpectrumId(other.SpectrumId),
      Name(other.Name),
      Tentative(other.Tentative),
      UseNonlinPart(other.UseNonlinPart),
      CreationDate(other.CreationDate),
      CreatedByEmpId(other.CreatedByEmpId),
      LastModifiedDate(other.LastModifiedDate),
      LastModByEmpId(other.LastModByEmpId),
      Comment(other.Comment),
      LinearPart(other.LinearPart) {
    LinearPart.SetNonlinPart(this);  // the copy corrects with its own nonlinear part
}

ECalibration& ECalibration::operator=(const ECalibration& other) {
    if (this == &other) return *this;
    NonlinECalibr::operator=(other);
    ECalId = other.ECalId;
    SpectrumId = other.SpectrumId;
    Name = other.Name;
    Tentative = other.Tentative;
    UseNonlinPart = other.UseNonlinPart;
    CreationDate = other.CreationDate;
    CreatedByEmpId = other.CreatedByEmpId;
    LastModifiedDate = other.LastModifiedDate;
    LastModByEmpId = other.LastModByEmpId;
    Comment = other.Comment;
    LinearPart = other.LinearPart;
    LinearPart.SetNonlinPart(this);
    return *this;
}

void ECalibration::Init() {
    const int spectrum = SpectrumId;
    ResetNonlin();
    ECalId = -1;
    Name.clear();
    Tentative = false;
    UseNonlinPart = false;
    CreationDate = -1.0;
    CreatedByEmpId = -1;
    LastModifiedDate = -1.0;
    LastModByEmpId = -1;
    Comment.clear();
    LinearPart.SetToDefault();
    LinearPart.SetNonlinPart(this);
    SpectrumId = spectrum;
}
