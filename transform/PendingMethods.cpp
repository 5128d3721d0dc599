// Members of ISonalter2 whose transforms are not built yet. They are in the
// interface and the dispatch table from the start and answer E_NOTIMPL until
// their own files replace these lines.
#include "transform/Sonalter2.h"

namespace qelv {

STDMETHODIMP CSonalter2::Reverb(SAFEARRAY**, FLOAT, FLOAT, FLOAT, FLOAT, FLOAT, LONG) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::LowPassFilter(SAFEARRAY**, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::HighPassFilter(SAFEARRAY**, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::BandPassFilter(SAFEARRAY**, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::NotchFilter(SAFEARRAY**, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::PeakEQFilter(SAFEARRAY**, FLOAT, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::LowShelfFilter(SAFEARRAY**, FLOAT, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::HighShelfFilter(SAFEARRAY**, FLOAT, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::FIRFilter(SAFEARRAY**, SAFEARRAY**, SAFEARRAY**, SAFEARRAY**, LONG) { return E_NOTIMPL; }

}  // namespace qelv
