#include <aztec/reader.h>

namespace Aztec {

const char* toString(SymbolFormat format) {
  switch (format) {
    case SymbolFormat::Compact:
      return "compact";
    case SymbolFormat::FullRange:
      return "full-range";
    case SymbolFormat::Rune:
      return "rune";
  }
  return "unknown";
}

const char* toString(TraceStage stage) {
  switch (stage) {
    case TraceStage::Found:
      return "found";
    case TraceStage::Verified:
      return "verified";
    case TraceStage::RingCorners:
      return "ring-corners";
    case TraceStage::FinderFit:
      return "finder-fit";
    case TraceStage::ModeMessage:
      return "mode-message";
    case TraceStage::Sampled:
      return "sampled";
    case TraceStage::Decoded:
      return "decoded";
    case TraceStage::Accepted:
      return "accepted";
  }
  return "unknown";
}

const char* toString(TraceStop stop) {
  switch (stop) {
    case TraceStop::None:
      return "none";
    case TraceStop::SymbolLimit:
      return "symbol-limit";
    case TraceStop::InsideSymbol:
      return "inside-symbol";
    case TraceStop::SameFinder:
      return "same-finder";
    case TraceStop::RingsBroken:
      return "rings-broken";
    case TraceStop::NoRingCorners:
      return "no-ring-corners";
    case TraceStop::DegenerateFit:
      return "degenerate-fit";
    case TraceStop::FinderMismatch:
      return "finder-mismatch";
    case TraceStop::NoModeMessage:
      return "no-mode-message";
    case TraceStop::SampledMismatch:
      return "sampled-mismatch";
    case TraceStop::Uncorrectable:
      return "uncorrectable";
    case TraceStop::CorrectionMargin:
      return "correction-margin";
    case TraceStop::SameSymbol:
      return "same-symbol";
    case TraceStop::OutsideFrame:
      return "outside-frame";
  }
  return "unknown";
}

const char* toString(TraceStep step) {
  switch (step) {
    case TraceStep::Binarise:
      return "binarise";
    case TraceStep::FindFinders:
      return "find-finders";
    case TraceStep::CheckRings:
      return "check-rings";
    case TraceStep::RingCorners:
      return "ring-corners";
    case TraceStep::ModeMessage:
      return "mode-message";
    case TraceStep::Sample:
      return "sample";
    case TraceStep::Decode:
      return "decode";
  }
  return "unknown";
}

}  // namespace Aztec
