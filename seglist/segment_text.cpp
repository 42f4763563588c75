#include "seglist/segment_text.h"

#include <cinttypes>
#include <cstdio>

namespace {

bool is_blank(unsigned char byte) { return byte == ' ' || byte == '\t'; }
bool is_digit(unsigned char byte) { return byte >= '0' && byte <= '9'; }

constexpr int kLeastFields = 2;  // OFFSET and LENGTH; END may follow
constexpr int kMostFields = 3;

}  // namespace

SegmentTextParser::LineEnd SegmentTextParser::take(unsigned char byte) {
  if (line_ended_) {
    // The line after the one just judged begins.
    ++line_number_;
    line_ended_ = false;
  }
  if (byte == '\n') return end_line();
  line_has_bytes_ = true;
  // A CR is a blank only right before the newline (or the text's end).
  const bool after_cr = cr_pending_;
  cr_pending_ = byte == '\r';
  if (state_ == State::kComment || malformed_) return LineEnd::kNothing;
  if (after_cr) {
    malformed_ = true;
    return LineEnd::kNothing;
  }
  if (cr_pending_) {
    state_ = State::kBlank;
    return LineEnd::kNothing;
  }
  if (is_blank(byte)) {
    state_ = State::kBlank;
    return LineEnd::kNothing;
  }
  if (state_ == State::kBlank) {
    if (at_line_start_ && byte == '#') {
      state_ = State::kComment;
      return LineEnd::kNothing;
    }
    at_line_start_ = false;
    if (fields_ == kMostFields) {
      malformed_ = true;
      return LineEnd::kNothing;
    }
    ++fields_;
    state_ = State::kField;
  }
  const int field = fields_ - 1;
  if (!is_digit(byte)) {
    if (field < kLeastFields) {
      malformed_ = true;
    } else {
      too_large_[field] = true;  // a third field that is no number is no END
    }
    return LineEnd::kNothing;
  }
  const unsigned digit = byte - '0';
  std::uint64_t& value = values_[field];
  // Saturates: any value this large is out of range anyway.
  if (value > (UINT64_MAX - digit) / 10) {
    too_large_[field] = true;
  } else {
    value = value * 10 + digit;
  }
  return LineEnd::kNothing;
}

SegmentTextParser::LineEnd SegmentTextParser::finish() {
  if (!line_has_bytes_ || line_ended_) return LineEnd::kNothing;
  return end_line();
}

SegmentTextParser::LineEnd SegmentTextParser::end_line() {
  LineEnd verdict = LineEnd::kSegment;
  if (state_ == State::kComment || (fields_ == 0 && !malformed_)) {
    verdict = LineEnd::kNothing;
  } else if (malformed_ || fields_ < kLeastFields) {
    fault_ = "expected OFFSET LENGTH in decimal";
    verdict = LineEnd::kFault;
  } else if (too_large_[0] || values_[0] > SegmentRecord::kMaxOfs) {
    std::snprintf(fault_text_, sizeof fault_text_, "offset out of range (0 to %" PRIu64 ")", SegmentRecord::kMaxOfs);
    fault_ = fault_text_;
    verdict = LineEnd::kFault;
  } else if (too_large_[1] || values_[1] == 0 || values_[1] > SegmentRecord::kMaxLen) {
    std::snprintf(fault_text_, sizeof fault_text_, "length out of range (1 to %" PRIu32 ")", SegmentRecord::kMaxLen);
    fault_ = fault_text_;
    verdict = LineEnd::kFault;
  } else if (fields_ == kMostFields && (too_large_[2] || values_[2] != values_[0] + values_[1])) {
    std::snprintf(fault_text_, sizeof fault_text_, "third field is not END, OFFSET + LENGTH (%" PRIu64 ")",
                  values_[0] + values_[1]);
    fault_ = fault_text_;
    verdict = LineEnd::kFault;
  } else {
    segment_ = SegmentRecord{static_cast<std::uint32_t>(values_[1]), values_[0]};
  }
  state_ = State::kBlank;
  at_line_start_ = true;
  malformed_ = false;
  fields_ = 0;
  values_[0] = values_[1] = values_[2] = 0;
  too_large_[0] = too_large_[1] = too_large_[2] = false;
  cr_pending_ = false;
  line_has_bytes_ = false;
  line_ended_ = true;
  return verdict;
}
