// The layouts of the results file, each told by its header line, and where
// each group of fields stands in a line of one.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

// A run without the measurement options writes the plain layout; a run with
// any of them the extended one, whose lines carry four more fields (empty
// where the option that fills them is off), the five of capture detection,
// the integrator's four, the settling's four, the ensemble's twenty and
// the spectrum's five. A
// merge of segments writes the extended layout with the segment after the
// first four. Files of the layouts as they were before capture detection
// and the integrator's fields (15 and 16 fields) and before the settling and
// ensemble fields (24 and 25) and before the spectrum's five (48 and 49) are
// still read, told by their header.
enum class ResultsLayout { Plain, Extended, Merged, Extended15, Merged16, Extended24, Merged25, Extended48, Merged49 };

extern const char* const ResultsHeader;
extern const char* const ExtendedResultsHeader;
extern const char* const MergedResultsHeader;
// The layout of a header line; none when it is no results header.
std::optional<ResultsLayout> ResultsLayoutOf(std::string_view header);
// Whether a file of layout `read` may stand where `expected` is written: the
// same, or one of its earlier forms.
bool LayoutReadsAs(ResultsLayout read, ResultsLayout expected);
const char* ResultsHeaderOf(ResultsLayout layout);
// The layouts that `layout` replaced, newest first, whose files a resumption
// or a merge still reads.
std::vector<ResultsLayout> EarlierLayouts(ResultsLayout layout);

// The groups of fields a layout has: the measurement options' four, the
// segment of a merged file, the capture and integrator fields, the
// settling's and the ensemble's, the spectrum's.
bool MeasurementFields(ResultsLayout layout);
bool SegmentField(ResultsLayout layout);
bool NewFields(ResultsLayout layout);
bool SettleFields(ResultsLayout layout);
bool SpectrumFields(ResultsLayout layout);

// Where each group of fields begins: the measurement options' four after
// the plain eleven, the segment, the capture detector's five, then the
// integrator's four, the settling's four, the ensemble's twenty and the
// spectrum's five.
constexpr std::size_t PlainFieldCount = 11;
constexpr std::size_t MeasurementFieldCount = 4;
constexpr std::size_t CaptureFieldCount = 5;
constexpr std::size_t IntegratorFieldCount = 4;
constexpr std::size_t SettleFieldCount = 4;
constexpr std::size_t EnsembleFieldCount = 20;
constexpr std::size_t SpectrumFieldCount = 5;

std::size_t CaptureFieldsAt(ResultsLayout layout);
std::size_t IntegratorFieldsAt(ResultsLayout layout);
std::size_t SettleFieldsAt(ResultsLayout layout);
std::size_t SpectrumFieldsAt(ResultsLayout layout);
// The fields of a line of the layout.
std::size_t FieldCount(ResultsLayout layout);
