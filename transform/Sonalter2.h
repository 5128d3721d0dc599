// CSonalter2: the non-visual transform object. It holds the settings every
// transform consults (sampling rate, channel layout, edge smoothing, progress
// events), fires _ISonalter2Events, and reports failures through rich error
// information. The transforms themselves live in one file per family beside
// this one and run in the frame of TransformFrame.h.
#pragma once

#include <qelvsonalter2/QelvSonalter2.h>

#include "server/ConnectionPoint.h"
#include "transform/filters/BiquadCoefficients.h"
#include "server/ModuleLock.h"

namespace qelv {

class TransformFrame;

class CSonalter2 final : public ISonalter2,
                         public IConnectionPointContainer,
                         public ISupportErrorInfo,
                         public IProvideClassInfo2,
                         public IObjectSafety {
public:
    // Creates an object with one reference, or returns nullptr when out of memory.
    static CSonalter2* Create();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch, served from the type library.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // Channel and array utilities.
    STDMETHODIMP GetLeftStereoChannel(SAFEARRAY** StereoArray, SAFEARRAY** LeftArray) override;
    STDMETHODIMP GetRightStereoChannel(SAFEARRAY** StereoArray, SAFEARRAY** RightArray) override;
    STDMETHODIMP MakeStereoFromArrays(SAFEARRAY** LeftArray, SAFEARRAY** RightArray, SAFEARRAY** WavArray) override;
    STDMETHODIMP MakeStereoFromMono(SAFEARRAY** MonoArray, SAFEARRAY** StereoArray) override;
    STDMETHODIMP MakeMonoFromStereo(SAFEARRAY** StereoArray, SAFEARRAY** MonoArray) override;
    STDMETHODIMP MixArrays(SAFEARRAY** InpArray1, FLOAT Ampl1, SAFEARRAY** InpArray2, FLOAT Amp2,
                           SAFEARRAY** OutArray) override;
    STDMETHODIMP MixStereoChannels(SAFEARRAY** WavArray, FLOAT LLAmp, FLOAT LRAmp, FLOAT RLAmp, FLOAT RRAmp) override;
    STDMETHODIMP DuplicateArray(SAFEARRAY** WavArray, SAFEARRAY** OutArray) override;

    // Rate and time.
    STDMETHODIMP Resample(SAFEARRAY** WavArray, FLOAT Rate) override;
    STDMETHODIMP PitchShift(SAFEARRAY** WavArray, FLOAT Rate) override;
    STDMETHODIMP TimeStretch(SAFEARRAY** WavArray, FLOAT Rate) override;

    // Silence, trimming and noise.
    STDMETHODIMP AddNoise(SAFEARRAY** WavArray, FLOAT dbNoiseLevel, LONG NoiseType) override;
    STDMETHODIMP TrimLeft(SAFEARRAY** WavArray, FLOAT dbTrimLevel, FLOAT FadeTime) override;
    STDMETHODIMP TrimRight(SAFEARRAY** WavArray, FLOAT dbTrimLevel, FLOAT FadeTime) override;
    STDMETHODIMP DeleteSilence(SAFEARRAY** WavArray, FLOAT dbThreshold, FLOAT AttackTime, FLOAT ReleaseTime) override;

    // Level and order transforms.
    STDMETHODIMP Silence(SAFEARRAY** WavArray) override;
    STDMETHODIMP Reverse(SAFEARRAY** WavArray) override;
    STDMETHODIMP Invert(SAFEARRAY** WavArray) override;
    STDMETHODIMP Amplify(SAFEARRAY** WavArray, FLOAT Amp) override;
    STDMETHODIMP Fade(SAFEARRAY** WavArray, FLOAT AmpLeft, FLOAT AmpRight) override;
    STDMETHODIMP Normalize(SAFEARRAY** WavArray, FLOAT Normalization, VARIANT_BOOL DCBiasAdjust) override;

    // Modulation, envelope and dynamics.
    STDMETHODIMP Vibrato(SAFEARRAY** WavArray, FLOAT SweepDepth, FLOAT SweepFrequency, FLOAT SweepPhase) override;
    STDMETHODIMP Envelope(SAFEARRAY** WavArray, SAFEARRAY** EnvelopeArray) override;
    STDMETHODIMP Compressor(SAFEARRAY** WavArray, FLOAT dbThreshold, FLOAT CompressionRate, FLOAT RMSTime) override;
    STDMETHODIMP Expander(SAFEARRAY** WavArray, FLOAT dbThreshold, FLOAT ExpansionRate, FLOAT RMSTime) override;

    // Delay lines and reverb.
    STDMETHODIMP Delay(SAFEARRAY** WavArray, FLOAT DelayTime, FLOAT MixDepth, FLOAT FeedBackGain) override;
    STDMETHODIMP Flanger(SAFEARRAY** WavArray, FLOAT DelayRate, FLOAT MixDepth, FLOAT FeedBackGain,
                         FLOAT SweepDepth, FLOAT SweepRate, FLOAT SweepPhase) override;
    STDMETHODIMP Chorus(SAFEARRAY** WavArray, FLOAT DelayRate, FLOAT MixDepth, FLOAT FeedBackGain,
                        FLOAT SweepDepth, FLOAT SweepRate, FLOAT SweepPhase) override;
    STDMETHODIMP Phaser(SAFEARRAY** WavArray, FLOAT DelayTime, FLOAT MixDepth, FLOAT FeedBackGain) override;
    STDMETHODIMP Reverb(SAFEARRAY** WavArray, FLOAT DelayTime, FLOAT MixDepth, FLOAT FeedBackGain,
                        FLOAT ReverbrationGain, FLOAT ReverbrationFrequency, LONG nTapDelay) override;

    // Filters and spectrum.
    STDMETHODIMP LowPassFilter(SAFEARRAY** WavArray, FLOAT Frequency, FLOAT Steepness) override;
    STDMETHODIMP HighPassFilter(SAFEARRAY** WavArray, FLOAT Frequency, FLOAT Steepness) override;
    STDMETHODIMP BandPassFilter(SAFEARRAY** WavArray, FLOAT Frequency, FLOAT Steepness) override;
    STDMETHODIMP NotchFilter(SAFEARRAY** WavArray, FLOAT Frequency, FLOAT Steepness) override;
    STDMETHODIMP PeakEQFilter(SAFEARRAY** WavArray, FLOAT dbGain, FLOAT Frequency, FLOAT Steepness) override;
    STDMETHODIMP LowShelfFilter(SAFEARRAY** WavArray, FLOAT dbGain, FLOAT Frequency, FLOAT Steepness) override;
    STDMETHODIMP HighShelfFilter(SAFEARRAY** WavArray, FLOAT dbGain, FLOAT Frequency, FLOAT Steepness) override;
    STDMETHODIMP Equalizer(SAFEARRAY** WavArray, SAFEARRAY** dbGainArray, SAFEARRAY** FreqArray) override;
    STDMETHODIMP FFTFilter(SAFEARRAY** WavArray, SAFEARRAY** FFTArray) override;
    STDMETHODIMP FIRFilter(SAFEARRAY** WavArray, SAFEARRAY** FreqArray, SAFEARRAY** dbGainArray,
                           SAFEARRAY** WeightArray, LONG Quality) override;
    STDMETHODIMP FFTPower(SAFEARRAY** WavArray, SAFEARRAY** dbFFTPowerArray) override;
    STDMETHODIMP FFTPhase(SAFEARRAY** WavArray, SAFEARRAY** dbFFTPhaseArray) override;

    // Cancellation and level conversions.
    STDMETHODIMP CancelTransform() override;
    STDMETHODIMP PercentToDB(FLOAT PercentValue, FLOAT* dbValue) override;
    STDMETHODIMP DBToPercent(FLOAT dbValue, FLOAT* PercentValue) override;

    // Properties.
    STDMETHODIMP get_SmoothLeftEnabled(VARIANT_BOOL* pVal) override;
    STDMETHODIMP put_SmoothLeftEnabled(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_SmoothRightEnabled(VARIANT_BOOL* pVal) override;
    STDMETHODIMP put_SmoothRightEnabled(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_SmoothTime(LONG* pVal) override;
    STDMETHODIMP put_SmoothTime(LONG newVal) override;
    STDMETHODIMP get_ArrayFrequency(FrequencyConstants* pVal) override;
    STDMETHODIMP put_ArrayFrequency(FrequencyConstants newVal) override;
    STDMETHODIMP get_ArrayChannels(ChannelsConstants* pVal) override;
    STDMETHODIMP put_ArrayChannels(ChannelsConstants newVal) override;
    STDMETHODIMP get_TBEventEnabled(VARIANT_BOOL* pVal) override;
    STDMETHODIMP put_TBEventEnabled(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_LastErrorNum(ErrorConstants* pVal) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;
    STDMETHODIMP GetGUID(DWORD dwGuidKind, GUID* pGUID) override;

    // IObjectSafety
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* pdwSupportedOptions, DWORD* pdwEnabledOptions) override;
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask, DWORD dwEnabledOptions) override;

    // Shared routines of the transforms.

    // Stores the error number in LastErrorNum and, for a failure, raises the rich
    // error description; returns the status the method returns.
    HRESULT ReportError(LONG errorNumber);
    void Fire_TransformBlock(LONG percent);
    void Fire_EndTransform();

    // Designs one second-order section (dsp::DesignBiquad with this object's
    // ArrayFrequency) into Coefficients (a0, a1, a2, b0, b1, b2) and returns it.
    dsp::Biquad ComputeBiquadCoefficients(LONG type, FLOAT dbGain, FLOAT Frequency, FLOAT Steepness);

    // Object state, in declared order; read and written by the transform frame.
    VARIANT_BOOL SmoothLeftEnabled = VARIANT_TRUE;
    VARIANT_BOOL SmoothRightEnabled = VARIANT_TRUE;
    LONG SmoothSamples = 2205;
    LONG SmoothTime = 50;
    LONG LastErrorNum = 0;
    LONG ArrayFrequency = 44100;
    LONG ArrayChannels = 1;
    FLOAT Coefficients[6] = {};
    SHORT* LeftEdgeBuffer = nullptr;
    SHORT* RightEdgeBuffer = nullptr;
    LONG LeftEdgeLength = 0;
    LONG RightEdgeLength = 0;
    LONG CancelRequested = 0;
    VARIANT_BOOL TBEventEnabled = VARIANT_TRUE;
    LONG ProgressStep = 0;

private:
    CSonalter2();
    ~CSonalter2();

    HRESULT DispatchTypeInfo(ITypeInfo** info, ITypeInfo** vtableView);
    void RecomputeSmoothSamples();

    ModuleLockHolder moduleLock_;
    LONG volatile refs_ = 1;
    CConnectionPoint events_;
    DWORD safetyOptions_ = 0;
};

}  // namespace qelv
