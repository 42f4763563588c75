// Reads segment lists written as text: one segment a line, "OFFSET LENGTH" in
// decimal, separated by blanks (spaces, tabs; a CR right before the newline
// or the text's end is a blank too, anywhere else a fault), optionally
// followed by a third field that must be END, OFFSET + LENGTH in decimal, so
// that the "OFFSET LENGTH END" lines of `seglist show` read back and a typo
// there is caught. Blank lines and lines whose first non-blank byte is '#' are
// skipped.
//
// Byte by byte, with no line buffer: a line of any length costs no memory.
#ifndef SEGLIST_SEGMENT_TEXT_H
#define SEGLIST_SEGMENT_TEXT_H

#include <cstdint>

#include "records/records.h"

class SegmentTextParser {
 public:
  enum class LineEnd { kNothing, kSegment, kFault };

  // Takes the next byte of the text. At the end of a line (the newline) says
  // what the line was; segment() or fault() then tells more. Every other byte
  // gives kNothing.
  LineEnd take(unsigned char byte);
  // Ends the text: its last line, if it had no newline, is judged as if it had.
  LineEnd finish();

  // The segment of the line that just ended with kSegment.
  const SegmentRecord& segment() const { return segment_; }
  // Why the line that just ended with kFault cannot be taken.
  const char* fault() const { return fault_; }
  // The number (from 1) of the line that ended last, or of the line being read.
  std::uint64_t line_number() const { return line_number_; }

 private:
  LineEnd end_line();

  enum class State { kBlank, kField, kComment };
  State state_ = State::kBlank;
  bool at_line_start_ = true;
  bool malformed_ = false;
  int fields_ = 0;  // fields begun on this line
  std::uint64_t values_[3] = {0, 0, 0};
  bool too_large_[3] = {false, false, false};  // or, for END, no number
  bool cr_pending_ = false;  // the last byte was a CR
  std::uint64_t line_number_ = 1;
  bool line_has_bytes_ = false;
  bool line_ended_ = false;
  SegmentRecord segment_{0, 0};
  const char* fault_ = "";
  char fault_text_[80] = {};  // a fault that names a number
};

#endif  // SEGLIST_SEGMENT_TEXT_H
