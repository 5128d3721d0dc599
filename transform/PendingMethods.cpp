// Members of ISonalter2 whose transforms are not built yet. They are in the
// interface and the dispatch table from the start and answer E_NOTIMPL until
// their own files replace these lines.
#include "transform/Sonalter2.h"

namespace qelv {

STDMETHODIMP CSonalter2::Resample(SAFEARRAY**, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::PitchShift(SAFEARRAY**, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::TimeStretch(SAFEARRAY**, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::AddNoise(SAFEARRAY**, FLOAT, LONG) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::TrimLeft(SAFEARRAY**, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::TrimRight(SAFEARRAY**, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::DeleteSilence(SAFEARRAY**, FLOAT, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::Vibrato(SAFEARRAY**, FLOAT, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::Envelope(SAFEARRAY**, SAFEARRAY**) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::Compressor(SAFEARRAY**, FLOAT, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::Expander(SAFEARRAY**, FLOAT, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::Delay(SAFEARRAY**, FLOAT, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::Flanger(SAFEARRAY**, FLOAT, FLOAT, FLOAT, FLOAT, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::Chorus(SAFEARRAY**, FLOAT, FLOAT, FLOAT, FLOAT, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::Phaser(SAFEARRAY**, FLOAT, FLOAT, FLOAT) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::Equalizer(SAFEARRAY**, SAFEARRAY**, SAFEARRAY**) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::FFTFilter(SAFEARRAY**, SAFEARRAY**) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::FFTPower(SAFEARRAY**, SAFEARRAY**) { return E_NOTIMPL; }
STDMETHODIMP CSonalter2::FFTPhase(SAFEARRAY**, SAFEARRAY**) { return E_NOTIMPL; }

}  // namespace qelv
